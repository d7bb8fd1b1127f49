#include "net/ZelSMTPException.h"

#include <cstring>

#include "core/LanguageTexts.h"

namespace {

std::string FormatMessage(const CLanguageTexts& texts, int messageId,
                          const std::string& lastResponse, const std::string& server = {}) {
    std::string text = texts.GetText(messageId);
    // The server first: a reply may itself hold "%2".
    if (const size_t marker = text.find("%2"); marker != std::string::npos)
        text.replace(marker, 2, server);
    if (const size_t marker = text.find("%1"); marker != std::string::npos)
        text.replace(marker, 2, lastResponse);
    return text;
}

}  // namespace

CZelSMTPException::CZelSMTPException(const CLanguageTexts& texts, int messageId,
                                     std::string lastResponse)
    : std::runtime_error(FormatMessage(texts, messageId, lastResponse)),
      code_(0x80040000u | static_cast<std::uint32_t>(messageId & 0xFFFF)),
      messageId_(messageId),
      lastResponse_(std::move(lastResponse)) {}

CZelSMTPException::CZelSMTPException(const CLanguageTexts& texts, int messageId,
                                     std::string lastResponse, const std::string& server)
    // The reply's final line end would only end up escaped at the end of a log line.
    : std::runtime_error(
          FormatMessage(texts, messageId,
                        lastResponse.substr(0, lastResponse.find_last_not_of("\r\n") + 1), server)),
      code_(0x80040000u | static_cast<std::uint32_t>(messageId & 0xFFFF)),
      messageId_(messageId),
      lastResponse_(std::move(lastResponse)) {}

CZelSMTPException::CZelSMTPException(std::uint32_t code, int systemError, const std::string& text)
    : std::runtime_error(text), code_(code), systemError_(systemError) {}

CZelSMTPException CZelSMTPException::SystemError(int errorCode, const std::string& what) {
    return CZelSMTPException(0x80070000u | static_cast<std::uint32_t>(errorCode & 0xFFFF),
                             errorCode, what + ": " + std::strerror(errorCode));
}
