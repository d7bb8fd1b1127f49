// One MIME part of a mail message and, through its children, the tree of parts below it. A part
// is either text (sent quoted-printable or base64 in its character set) or, once it has a file
// name, an attachment whose file is read and base64-encoded while the message is sent. A part
// with children is a multipart whose children are separated by its boundary, a random UUID.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CZelSMTPBodyPart {
  public:
    // Receives the encoded message text piece by piece while it is written.
    using Writer = std::function<void(std::string_view)>;

    // An empty "text/plain" part in "iso-8859-1", quoted-printable, with a fresh boundary.
    // Throws std::system_error when the system's random source fails.
    CZelSMTPBodyPart();
    // Copies the part with all its children (the copy has no parent); the boundary is kept.
    CZelSMTPBodyPart(const CZelSMTPBodyPart& other);
    // Replaces the part by a copy of `other`, keeping its own place in the tree.
    CZelSMTPBodyPart& operator=(const CZelSMTPBodyPart& other);
    ~CZelSMTPBodyPart();

    // Makes the part an attachment of the file at `path` (a backslash counts as "/"): the title
    // becomes the file's name and the content type "application/octet-stream".
    void SetFilename(const std::string& path);
    const std::string& GetFilename() const { return fileName_; }
    // The name the receiver sees for an attachment (written as name and filename).
    void SetTitle(const std::string& title) { title_ = title; }
    const std::string& GetTitle() const { return title_; }
    // The MIME type written in the part's Content-Type header.
    void SetContentType(const std::string& contentType) { contentType_ = contentType; }
    const std::string& GetContentType() const { return contentType_; }
    // The character set of a text part; its text is converted into it when sent.
    void SetCharset(const std::string& charset) { charset_ = charset; }
    const std::string& GetCharset() const { return charset_; }
    // Written as a "Content-Base" header when not empty.
    void SetContentBase(const std::string& base) { contentBase_ = base; }
    const std::string& GetContentBase() const { return contentBase_; }
    // The id an HTML part refers to as "cid:<id>" (sent in angle brackets, which are added when
    // missing); clears the content location.
    void SetContentID(const std::string& id);
    const std::string& GetContentID() const { return contentId_; }
    // Written as a "Content-Location" header when not empty.
    void SetContentLocation(const std::string& location) { contentLocation_ = location; }
    const std::string& GetContentLocation() const { return contentLocation_; }
    // Sets the text (UTF-8) with its line ends made CRLF; the content type becomes "text/plain".
    void SetText(const std::string& text);
    const std::string& GetText() const { return text_; }
    // Sends the text quoted-printable (the default); with base64 off too, as it stands.
    void SetQuotedPrintable(bool on) { quotedPrintable_ = on; }
    bool GetQuotedPrintable() const { return quotedPrintable_; }
    // Base64 wins over quoted-printable when both are set.
    void SetBase64(bool on) { base64_ = on; }
    bool GetBase64() const { return base64_; }
    // The boundary between this part's children.
    const std::string& GetBoundary() const { return boundary_; }

    // Appends a copy of `part` as the last child and returns the copy.
    CZelSMTPBodyPart& AddChildBodyPart(const CZelSMTPBodyPart& part);
    // The number of children.
    size_t GetNumberOfChildBodyParts() const { return children_.size(); }
    // The child at `index`; throws std::out_of_range.
    CZelSMTPBodyPart& GetChildBodyPart(size_t index);
    const CZelSMTPBodyPart& GetChildBodyPart(size_t index) const;
    // The part this one is a child of; null for a root.
    CZelSMTPBodyPart* GetParentBodyPart() const { return parent_; }

    // Writes the part: its header (for a child), its encoded body, its children and their closing
    // boundary. Throws CZelSMTPException (system error) when an attachment cannot be read.
    void Write(const Writer& writer) const;
    // Appends the header field `field` with its CRLF as written: a MIME header line of any
    // length a mail line may have stays whole. Only a line that would pass the 998-character
    // limit is folded, at a blank; one without a blank stays as it is.
    static void AppendHeaderLine(std::string& out, std::string_view field);

    // Throws CZelSMTPException (system error) when the file of this part or of any part below
    // cannot be opened for reading, so a message can be refused before anything is sent.
    void CheckFilesReadable() const;

  private:
    void WriteAttachmentBody(const Writer& writer) const;
    void WriteChildren(const Writer& writer) const;
    void CopyFrom(const CZelSMTPBodyPart& other);

    std::string fileName_;
    std::string title_;
    std::string contentType_ = "text/plain";
    std::string charset_ = "iso-8859-1";
    std::string contentBase_;
    std::string contentId_;
    std::string contentLocation_;
    std::string text_;
    CZelSMTPBodyPart* parent_ = nullptr;
    std::string boundary_;
    bool quotedPrintable_ = true;
    bool base64_ = false;
    std::vector<std::unique_ptr<CZelSMTPBodyPart>> children_;
};
