// Mail of the page to addresses chosen at run time instead of those a step names: the one way a
// step that mails many recipients in turn sends each its own copy, the same way an "SMTP" step
// sends one.
#pragma once

#include <string>

class COvInfoAct;
namespace orvik {
class Run;
}

// Delivers the exported page the way `step`'s type does (TaskStep::Deliver): "SMTP" mails it,
// "FTP" uploads it, a plug-in's type hands it to the plug-in. Throws CZelSMTPException when the
// mail server fails.
void SendExport(orvik::Run& run, COvInfoAct& step);

namespace orvik {

// The page as an HTML mail with its pictures inline and the step's files attached.
void MailStepPage(Run& run, COvInfoAct& step);
// The page and its pictures (or the step's files) uploaded to the step's FTP server.
void UploadStepPage(Run& run, COvInfoAct& step);

// Mails the current page as an "SMTP" step would (the step's server, subject, content and files,
// pictures inline) to `recipients` in place of the step's addresses. The files named stay where
// they are, for the next mail. Returns "" when the server took the message, else why it did not
// go out (server replies and socket failures included); throws only std::bad_alloc.
std::string MailPageTo(Run& run, COvInfoAct& step, const std::string& recipients);

}  // namespace orvik
