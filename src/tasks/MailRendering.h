// What a mail step asks of the page renderer: its charts as pictures in the mail's HTML, for the
// webmail readers that show no inline SVG (BodyPictures), and the page as a PDF attachment
// (AttachPdf). Rendering belongs to a plug-in (Pdf.rll brings the step types "PNG" and "PDF"); a
// mail step runs those step types through the registry as a task would, so the program knows
// nothing of the renderer and a machine without the plug-in gets one error naming it.
#pragma once

#include <string>

class COvInfoAct;
namespace orvik {
class Run;

// `html` (UTF-8) with each inline SVG replaced by an IMG of its PNG rendering, a file in the work
// folder that the mail then carries inline like any picture. Returns false (reported, `failure`
// receiving why when given) when a chart could not be rendered; the mail is not sent then.
bool ChartsAsPictures(Run& run, const COvInfoAct& step, std::string& html, std::string* failure);

// The PDF of the page file the run wrote, rendered once per page however many steps mail it;
// its path, or "" when it could not be made (reported, `failure` receiving why when given).
std::string PageAsPdf(Run& run, const COvInfoAct& step, std::string* failure);

}  // namespace orvik
