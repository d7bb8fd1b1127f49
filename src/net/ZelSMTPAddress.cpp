#include "net/ZelSMTPAddress.h"

#include "core/TextEncoding.h"
#include "net/Mime.h"

CZelSMTPAddress::CZelSMTPAddress(std::string emailAddress)
    : EmailAddress(std::move(emailAddress)) {}

CZelSMTPAddress::CZelSMTPAddress(std::string friendlyName, std::string emailAddress)
    : FriendlyName(std::move(friendlyName)), EmailAddress(std::move(emailAddress)) {}

CZelSMTPAddress CZelSMTPAddress::Parse(std::string_view text) {
    text = orvik::Trim(text);
    const size_t open = text.rfind('<');
    if (open == std::string_view::npos || text.empty() || text.back() != '>') {
        return CZelSMTPAddress(std::string(text));
    }
    std::string_view name = orvik::Trim(text.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    const std::string_view address = orvik::Trim(text.substr(open + 1, text.size() - open - 2));
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
