#include "net/ZelSMTPAddress.h"

#include "net/Mime.h"

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

CZelSMTPAddress::CZelSMTPAddress(std::string emailAddress)
    : EmailAddress(std::move(emailAddress)) {}

CZelSMTPAddress::CZelSMTPAddress(std::string friendlyName, std::string emailAddress)
    : FriendlyName(std::move(friendlyName)), EmailAddress(std::move(emailAddress)) {}

CZelSMTPAddress CZelSMTPAddress::Parse(std::string_view text) {
    text = Trim(text);
    const size_t open = text.rfind('<');
    if (open == std::string_view::npos || text.empty() || text.back() != '>') {
        return CZelSMTPAddress(std::string(text));
    }
    std::string_view name = Trim(text.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    const std::string_view address = Trim(text.substr(open + 1, text.size() - open - 2));
    return CZelSMTPAddress(std::string(name), std::string(address));
}

std::string CZelSMTPAddress::GetRegularFormat() const {
    if (FriendlyName.empty()) return EmailAddress;
    return FriendlyName + " <" + EmailAddress + ">";
}

std::string CZelSMTPAddress::GetHeaderFormat(std::string_view charset) const {
    if (FriendlyName.empty()) return EmailAddress;
    return orvik::mime::QEncodeWords(FriendlyName, charset) + " <" + EmailAddress + ">";
}
