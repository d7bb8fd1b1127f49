// A mail message as the mail client sends it: the envelope addresses, the header fields and a
// tree of MIME parts under one root. Without MIME the root's text is the whole body; with MIME
// the root carries the preamble and the parts (an HTML body, plain text, pictures referred to by
// content id, attachments) hang below it. Text is UTF-8 here and converted into the message's
// character set when it is sent.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "net/ZelSMTPAddress.h"
#include "net/ZelSMTPBodyPart.h"

class CZelSMTPMessage {
  public:
    // The X-Priority header's value; none is written unless set.
    enum class Priority { NoPriority, High, Normal, Low };

    // An empty message without MIME, in "iso-8859-1".
    CZelSMTPMessage();

    // The character set of the message's text (the root part's); "iso-8859-1" until set.
    void SetCharset(const std::string& charset);
    std::string GetCharset() const { return root_.GetCharset(); }

    // Switches MIME on: the root becomes a "multipart/mixed" with the preamble, and a text the
    // root held before becomes a "text/plain" part. Switching off only clears the flag.
    void SetMime(bool mime);
    bool GetMime() const { return mime_; }

    // The top-level content type (e.g. "multipart/alternative"); set it after the bodies.
    void SetContentType(const std::string& contentType) { root_.SetContentType(contentType); }

    // Sets the HTML body: replaces the text of an existing "text/html" part, else appends one in
    // the message's character set. Throws std::logic_error when MIME is off.
    void AddHTMLBody(const std::string& html, const std::string& contentBase = {});
    // The same for a plain-text body; without MIME it sets the root's text.
    void AddTextBody(const std::string& text, const std::string& contentBase = {});
    // Appends a copy of `part` below the root and returns the copy.
    CZelSMTPBodyPart& AddBodyPart(const CZelSMTPBodyPart& part);
    // Appends one attachment per path of the list (separated by "," or ";", blanks trimmed);
    // returns how many were added. The files are read when the message is sent.
    int AddAttachments(std::string_view attachments);

    // Fills `addresses` with the mailboxes of `text`, split at "," and ";" outside double quotes;
    // pieces without an address are skipped. Returns the number found.
    static int ParseRecipients(std::string_view text, std::vector<CZelSMTPAddress>& addresses);

    // The root part: the top of the MIME tree, or the whole body without MIME.
    CZelSMTPBodyPart& GetRootPart() { return root_; }
    const CZelSMTPBodyPart& GetRootPart() const { return root_; }

    // The header block (each line ended by CRLF, without the blank line after it), dated `now`.
    std::string GetHeader(std::time_t now) const;
    // Writes the body as it goes after the header's blank line, dot-stuffed. Throws
    // CZelSMTPException when an attachment cannot be read.
    void WriteBody(const CZelSMTPBodyPart::Writer& writer) const;

    CZelSMTPAddress From;
    std::vector<CZelSMTPAddress> To;
    std::vector<CZelSMTPAddress> Cc;
    std::vector<CZelSMTPAddress> Bcc;  // receive the message, appear in no header
    CZelSMTPAddress ReplyTo;
    std::string Subject;
    std::string XMailer;  // "Orvik <version>" until changed; empty writes no X-Mailer line
    Priority MessagePriority = Priority::NoPriority;
    std::vector<std::string> CustomHeaders;  // whole lines without their CRLF

  private:
    void AddBody(const std::string& text, const std::string& contentBase,
                 const std::string& contentType);

    bool mime_ = false;
    CZelSMTPBodyPart root_;
};

// The "Date:" value for `when` in local time with the zone offset, e.g.
// "Tue, 5 Mar 2024 09:07:03 +0100".
std::string FormatMailDate(std::time_t when);
