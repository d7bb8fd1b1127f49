// One mailbox of a mail message: a friendly name and an address. The name travels Q-encoded in
// the message's character set, so any text is safe in it; the address travels as it stands.
#pragma once

#include <string>
#include <string_view>

class CZelSMTPAddress {
  public:
    CZelSMTPAddress() = default;
    // A mailbox without a friendly name.
    explicit CZelSMTPAddress(std::string emailAddress);
    CZelSMTPAddress(std::string friendlyName, std::string emailAddress);

    // Reads "name <address>", "\"name\" <address>" or a bare address (blanks around are
    // ignored); an empty text gives an empty address. Never throws.
    static CZelSMTPAddress Parse(std::string_view text);

    // "address" without a name, else "name <address>".
    std::string GetRegularFormat() const;
    // The form for a header line: the name as RFC 2047 words in `charset`, then "<address>".
    std::string GetHeaderFormat(std::string_view charset) const;

    std::string FriendlyName;
    std::string EmailAddress;
};
