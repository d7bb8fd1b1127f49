// The built-in English texts, by id. Ids are fixed: language files translate them by number, and
// the mail and FTP clients report their errors by these numbers.
#include <algorithm>
#include <iterator>

#include "core/LanguageTexts.h"

namespace {

struct BuiltinEntry {
    int Id;
    const char* Text;
};

// Sorted by id.
constexpr BuiltinEntry kTexts[] = {
    // FTP upload
    {310, "An error occurred while attempting to transfer the file, Error:%1"},
    {311, "An error occurred connecting to the server, Error:%1"},
    {312, "An error occurred while attempting to open the remote file, Error:%1"},
    {314, "Uploading the file"},
    {315, "An error occurred while uploading the file, Error:%1"},
    {317, "An error occured while opening the file to be uploaded, Error:%1"},
    {320, "An error occurred while downloading the file, Error:%1"},
    // SMTP client
    {412, "Unexpected SMTP Login response, Last Response: %1"},
    {413, "Failed to get header of body part"},
    {414, "Failed to get body of body part"},
    {417, "Unexpected HELO response, Last Response: %1"},
    {418, "Unexpected QUIT response, Last Response: %1"},
    {419, "Unexpected MAIL FROM response, Last Response: %1"},
    {420, "Unexpected DATA response, Last Response: %1"},
    {421, "Unexpected End of Message response, Last Response: %1"},
    {422, "File too large to mail"},
    {423, "Cannot mail 0 byte length file"},
    {424, "Unexpected RCPT TO response, Last Response: %1"},
    {440, "Failed to base64 encode data"},
    {448, "A graceful disconnect had occurred, Last Response: %1"},
    {449, "Failed to QP encode data"},
    {450, "Failed to Q encode data"},
    {451, "Unexpected EHLO response from %2, Last Response: %1"},
    {452,
     "The mail server %2 does not offer STARTTLS, which MailSecurity requires; nothing was "
     "sent. Last Response: %1"},
    {453, "The mail server %2 refused STARTTLS, Last Response: %1"},
    {454, "TLS with the mail server %2 failed: %1"},
    {455, "The mail server %2 offers no login method that MailAuth allows, Last Response: %1"},
    {456, "Login to the mail server %2 failed, Last Response: %1"},
    {457, "The mail server %2 gave no answer within %1"},
    {458,
     "The mail server %2 does not offer STARTTLS, so the login was not sent: it would cross the "
     "network unencrypted (only MailSecurity none allows that). Last Response: %1"},
    // property captions
    {0x3FE, "Type"},
    {0x401, "Name"},
    {0x402, "Param Value"},
    // bars and explorer
    {1300, "Property"},
    {1301, "Object Explorer"},
    {1302, "OLAP Catalog"},
    {1309, "Orvik18 Param's"},
    {1310, "HTML"},
    {1311, "Data Sources"},
    {1312, "View Sheets"},
    {1313, "Distributions"},
    {1314, "Default Propertys"},
    {1315, "New"},
    {1316, "Sheet"},
    {1317, "Data Source"},
    {1318, "Step"},
    {1319, "Distribution"},
    {1320, "Not Uniq Param Name"},
    {1321, "Not Uniq Sheet Name "},
    {1322, "Not Uniq Distrib Name"},
    {1323, "Delete Item"},
    {1324, "Are Your Sure to delete item?"},
    {1325, "Delete"},
    {1326, "New Item"},
    {1327, "New Child Item"},
    {1328, "Run Task"},
    {1330, "Orvik18 Param"},
    {1331, "Current Document was changed; Save document?"},
    {1332, "Saving Document"},
    {1333, "Title"},
};

}  // namespace

const char* BuiltinText(int id) {
    const auto found =
        std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                         [](const BuiltinEntry& e, int wanted) { return e.Id < wanted; });
    return found != std::end(kTexts) && found->Id == id ? found->Text : nullptr;
}
