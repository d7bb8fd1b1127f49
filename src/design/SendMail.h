// File > Send Mail: the open report's page mailed with the program settings' server and
// addresses, through a temporary mail step.
#pragma once

namespace orvik {
class Run;
}

class CReport;

namespace orvik::design {

// Builds the page and mails it; false (the reason shown) when there was nothing to send or the
// mail server refused it.
bool OnFileSendMail(orvik::Run& run);

}  // namespace orvik::design
