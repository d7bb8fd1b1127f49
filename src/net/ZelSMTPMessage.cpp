#include "net/ZelSMTPMessage.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/TextEncoding.h"
#include "core/Version.h"
#include "net/Mime.h"

namespace {

constexpr char kPreamble[] = "This is a multi-part message in MIME format";

std::string WithoutLineBreaks(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

std::string AddressList(const std::vector<CZelSMTPAddress>& addresses, std::string_view charset) {
    std::string list;
    for (size_t i = 0; i < addresses.size(); ++i) {
        // Each further address on a continuation line: a line break must be followed by a
        // blank, or the rest would read as a header of its own.
        if (i > 0) list += ",\r\n ";
        list += addresses[i].GetHeaderFormat(charset);
    }
    return list;
}

}  // namespace

std::string FormatMailDate(std::time_t when) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&when, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = std::labs(offsetMinutes);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+',
                  absolute / 60, absolute % 60);
    return text;
}

CZelSMTPMessage::CZelSMTPMessage() : XMailer(std::string("Orvik ") + kOrvikVersion) {}

void CZelSMTPMessage::SetCharset(const std::string& charset) {
    root_.SetCharset(charset);
}

void CZelSMTPMessage::SetMime(bool mime) {
    if (mime && !mime_) {
        const std::string earlierText = root_.GetText();
        root_.SetText(kPreamble);
        root_.SetContentType("multipart/mixed");
        mime_ = true;
        if (!earlierText.empty()) AddTextBody(earlierText);
    }
    mime_ = mime;
}

void CZelSMTPMessage::AddBody(const std::string& text, const std::string& contentBase,
                              const std::string& contentType) {
    for (size_t i = 0; i < root_.GetNumberOfChildBodyParts(); ++i) {
        CZelSMTPBodyPart& child = root_.GetChildBodyPart(i);
        if (child.GetContentType() == contentType) {
            child.SetText(text);
            child.SetContentType(contentType);
            return;
        }
    }
    root_.SetText(kPreamble);
    root_.SetContentType("multipart/mixed");
    CZelSMTPBodyPart part;
    part.SetCharset(root_.GetCharset());
    part.SetText(text);
    part.SetContentType(contentType);
    part.SetContentBase(contentBase);
    root_.AddChildBodyPart(part);
}

void CZelSMTPMessage::AddHTMLBody(const std::string& html, const std::string& contentBase) {
    if (!mime_) throw std::logic_error("An HTML body needs a MIME message");
    AddBody(html, contentBase, "text/html");
}

void CZelSMTPMessage::AddTextBody(const std::string& text, const std::string& contentBase) {
    if (!mime_) {
        root_.SetText(text);
        return;
    }
    AddBody(text, contentBase, "text/plain");
}

CZelSMTPBodyPart& CZelSMTPMessage::AddBodyPart(const CZelSMTPBodyPart& part) {
    return root_.AddChildBodyPart(part);
}

int CZelSMTPMessage::AddAttachments(std::string_view attachments) {
    int added = 0;
    while (!attachments.empty()) {
        const size_t separator = attachments.find_first_of(",;");
        const std::string_view piece = orvik::Trim(attachments.substr(0, separator));
        attachments = separator == std::string_view::npos ? std::string_view()
                                                          : attachments.substr(separator + 1);
        if (piece.empty()) continue;
        CZelSMTPBodyPart part;
        part.SetFilename(std::string(piece));
        root_.AddChildBodyPart(part);
        ++added;
    }
    return added;
}

int CZelSMTPMessage::ParseRecipients(std::string_view text,
                                     std::vector<CZelSMTPAddress>& addresses) {
    addresses.clear();
    const auto take = [&](std::string_view piece) {
        CZelSMTPAddress address = CZelSMTPAddress::Parse(piece);
        if (!address.EmailAddress.empty()) addresses.push_back(std::move(address));
    };
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && (text[i] == ',' || text[i] == ';')) {
            take(text.substr(start, i - start));
            start = i + 1;
        }
    }
    take(text.substr(start));
    return static_cast<int>(addresses.size());
}

std::string CZelSMTPMessage::GetHeader(std::time_t now) const {
    const std::string charset = GetCharset();
    std::string header;
    orvik::mime::AppendFoldedHeader(header, "From: " + From.GetHeaderFormat(charset));
    orvik::mime::AppendFoldedHeader(header, "To: " + AddressList(To, charset));
    if (!Cc.empty()) orvik::mime::AppendFoldedHeader(header, "Cc: " + AddressList(Cc, charset));
    orvik::mime::AppendFoldedHeader(header,
                                    "Subject: " + orvik::mime::QEncodeWords(Subject, charset));
    if (!XMailer.empty())
        orvik::mime::AppendFoldedHeader(header, "X-Mailer: " + WithoutLineBreaks(XMailer));
    if (mime_) {
        header += "MIME-Version: 1.0\r\n";
        std::string contentType = "Content-Type: " + WithoutLineBreaks(root_.GetContentType());
        if (root_.GetNumberOfChildBodyParts() > 0) {
            contentType += "; boundary=\"" + root_.GetBoundary() + "\"";
        }
        // Kept on one line: with a boundary it runs to 84 characters, more than the 78 a header
        // line should keep to, but far within the 998 a mail line may have.
        CZelSMTPBodyPart::AppendHeaderLine(header, contentType);
    } else {
        const std::string bodyCharset =
            orvik::mime::EncodeForCharset(root_.GetText(), charset).Charset;
        header += "Content-Type: " + WithoutLineBreaks(root_.GetContentType()) +
                  ";\r\n\tcharset=" + WithoutLineBreaks(bodyCharset) + "\r\n";
    }
    if (!ReplyTo.EmailAddress.empty()) {
        orvik::mime::AppendFoldedHeader(header, "Reply-To: " + ReplyTo.GetHeaderFormat(charset));
    }
    header += "Date: " + FormatMailDate(now) + "\r\n";
    switch (MessagePriority) {
        case Priority::High:
            header += "X-Priority: 1\r\n";
            break;
        case Priority::Normal:
            header += "X-Priority: 3\r\n";
            break;
        case Priority::Low:
            header += "X-Priority: 5\r\n";
            break;
        case Priority::NoPriority:
            break;
    }
    for (const std::string& line : CustomHeaders) header += WithoutLineBreaks(line) + "\r\n";
    return header;
}

void CZelSMTPMessage::WriteBody(const CZelSMTPBodyPart::Writer& writer) const {
    if (mime_) {
        root_.Write(writer);
        return;
    }
    writer(
        orvik::mime::DotStuff(orvik::mime::EncodeForCharset(root_.GetText(), GetCharset()).Bytes));
}
