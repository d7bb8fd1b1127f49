#include "net/ZelSMTPBodyPart.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "core/Paths.h"
#include "net/Mime.h"
#include "net/ZelSMTPException.h"

namespace {

// Attachments are read in pieces of whole base64 lines, so the encoded text does not depend on
// where a piece ends.
constexpr size_t kReadChunk = orvik::mime::kBase64LineInput * 4096;

// A value put into a header line as it stands must not end the line early: a line break in it
// would start a header of someone else's choosing.
std::string HeaderValue(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

// The longest line mail may carry, CRLF not counted (RFC 5322).
constexpr size_t kMaxLineLength = 998;

bool IsPlainTitle(const std::string& title) {
    for (unsigned char c : title) {
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') return false;
    }
    return true;
}

// A file name goes between double quotes as it stands when it is plain ASCII; anything else
// travels as encoded words (what mail programs read in a name parameter).
std::string QuotedTitle(const std::string& title, const std::string& charset) {
    if (IsPlainTitle(title)) return "\"" + title + "\"";
    // The words keep their folds: a fold inside a quoted string unfolds to the blank between
    // encoded words, which readers drop.
    return "\"" + orvik::mime::QEncodeWords(title, charset) + "\"";
}

class FileHandle {
  public:
    explicit FileHandle(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileHandle() {
        if (fd_ >= 0) close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// Throws the system's reason when the attachment behind `file` cannot be read at all.
void ThrowUnlessReadable(const FileHandle& file, const std::string& name) {
    if (file.Get() < 0) {
        throw CZelSMTPException::SystemError(errno, "Cannot open attachment '" + name + "'");
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) {
        throw CZelSMTPException::SystemError(errno, "Cannot open attachment '" + name + "'");
    }
    if (S_ISDIR(info.st_mode)) {
        throw CZelSMTPException::SystemError(EISDIR, "Cannot open attachment '" + name + "'");
    }
}

}  // namespace

CZelSMTPBodyPart::CZelSMTPBodyPart() : boundary_(orvik::mime::NewUuid()) {}

CZelSMTPBodyPart::CZelSMTPBodyPart(const CZelSMTPBodyPart& other) {
    CopyFrom(other);
}

CZelSMTPBodyPart& CZelSMTPBodyPart::operator=(const CZelSMTPBodyPart& other) {
    if (this != &other) {
        CZelSMTPBodyPart* parent = parent_;
        CopyFrom(other);
        parent_ = parent;
    }
    return *this;
}

CZelSMTPBodyPart::~CZelSMTPBodyPart() = default;

void CZelSMTPBodyPart::CopyFrom(const CZelSMTPBodyPart& other) {
    fileName_ = other.fileName_;
    title_ = other.title_;
    contentType_ = other.contentType_;
    charset_ = other.charset_;
    contentBase_ = other.contentBase_;
    contentId_ = other.contentId_;
    contentLocation_ = other.contentLocation_;
    text_ = other.text_;
    parent_ = nullptr;
    boundary_ = other.boundary_;
    quotedPrintable_ = other.quotedPrintable_;
    base64_ = other.base64_;
    children_.clear();
    for (const auto& child : other.children_) AddChildBodyPart(*child);
}

void CZelSMTPBodyPart::SetFilename(const std::string& path) {
    fileName_ = path;
    title_ = orvik::FileNameOf(path);
    contentType_ = "application/octet-stream";
}

void CZelSMTPBodyPart::SetContentID(const std::string& id) {
    contentId_ = id;
    contentLocation_.clear();
}

void CZelSMTPBodyPart::SetText(const std::string& text) {
    text_ = orvik::mime::NormaliseLineEnds(text);
    contentType_ = "text/plain";
}

CZelSMTPBodyPart& CZelSMTPBodyPart::AddChildBodyPart(const CZelSMTPBodyPart& part) {
    children_.push_back(std::make_unique<CZelSMTPBodyPart>(part));
    children_.back()->parent_ = this;
    return *children_.back();
}

CZelSMTPBodyPart& CZelSMTPBodyPart::GetChildBodyPart(size_t index) {
    return *children_.at(index);
}

const CZelSMTPBodyPart& CZelSMTPBodyPart::GetChildBodyPart(size_t index) const {
    return *children_.at(index);
}

void CZelSMTPBodyPart::CheckFilesReadable() const {
    if (!fileName_.empty()) {
        FileHandle file(orvik::ToNativePath(fileName_));
        ThrowUnlessReadable(file, fileName_);
    }
    for (const auto& child : children_) child->CheckFilesReadable();
}

void CZelSMTPBodyPart::Write(const Writer& writer) const {
    if (!parent_) {
        // The root's text is the preamble that readers without MIME show.
        writer(orvik::mime::DotStuff(text_));
        WriteChildren(writer);
        return;
    }
    const std::string boundaryParameter =
        children_.empty() ? std::string() : "; Boundary=\"" + boundary_ + "\"";
    std::string header;
    std::string body;
    if (!fileName_.empty()) {
        const std::string title = QuotedTitle(title_, charset_);
        // A line holding encoded words should stay within 76 characters (RFC 2047), so a name
        // that needed them is folded as other such header lines are; a plain one stays whole.
        const size_t limit = IsPlainTitle(title_) ? kMaxLineLength : orvik::mime::kHeaderFoldLength;
        const auto append = [limit](std::string& out, std::string_view field) {
            orvik::mime::AppendFoldedHeader(out, field, limit);
        };
        header = "\r\n\r\n--" + parent_->boundary_ + "\r\n";
        append(header, "Content-Type: " + HeaderValue(contentType_) + "; name=" + title +
                           boundaryParameter);
        header += "Content-Transfer-Encoding: base64\r\n";
        append(header, "Content-Disposition: attachment; filename=" + title);
    } else {
        orvik::mime::CharsetText content = orvik::mime::EncodeForCharset(text_, charset_);
        header = "\r\n--" + parent_->boundary_ + "\r\n";
        AppendHeaderLine(header, "Content-Type: " + HeaderValue(contentType_) + "; charset=" +
                                     HeaderValue(content.Charset) + boundaryParameter);
        if (base64_) {
            header += "Content-Transfer-Encoding: base64\r\n";
            body = orvik::mime::Base64Encode(content.Bytes);
        } else if (quotedPrintable_) {
            header += "Content-Transfer-Encoding: quoted-printable\r\n";
            body = orvik::mime::DotStuff(orvik::mime::QuotedPrintableEncode(content.Bytes));
        } else {
            body = orvik::mime::DotStuff(content.Bytes);
        }
    }
    if (!contentBase_.empty()) {
        AppendHeaderLine(header, "Content-Base: " + HeaderValue(contentBase_));
    }
    if (!contentId_.empty()) {
        // A content id is a message id in angle brackets; "cid:" references match it without
        // them (RFC 2392), so a bare id is wrapped rather than sent malformed.
        const std::string id = HeaderValue(contentId_);
        header += "Content-ID: " + (id.front() == '<' ? id : "<" + id + ">") + "\r\n";
    }
    if (!contentLocation_.empty()) {
        AppendHeaderLine(header, "Content-Location: " + HeaderValue(contentLocation_));
    }
    header += "\r\n";
    writer(header);
    if (!fileName_.empty()) {
        WriteAttachmentBody(writer);
    } else {
        writer(body);
    }
    WriteChildren(writer);
}

void CZelSMTPBodyPart::AppendHeaderLine(std::string& out, std::string_view field) {
    orvik::mime::AppendFoldedHeader(out, field, kMaxLineLength);
}

void CZelSMTPBodyPart::WriteChildren(const Writer& writer) const {
    if (children_.empty()) return;
    for (const auto& child : children_) child->Write(writer);
    writer("\r\n--" + boundary_ + "--");
}

void CZelSMTPBodyPart::WriteAttachmentBody(const Writer& writer) const {
    FileHandle file(orvik::ToNativePath(fileName_));
    ThrowUnlessReadable(file, fileName_);
    std::string buffer(kReadChunk, '\0');
    std::string encoded;
    for (;;) {
        // Fill the buffer completely (short reads happen) so pieces stay whole base64 lines.
        size_t filled = 0;
        while (filled < buffer.size()) {
            const ssize_t got = read(file.Get(), buffer.data() + filled, buffer.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                throw CZelSMTPException::SystemError(errno,
                                                     "Cannot read attachment '" + fileName_ + "'");
            }
            if (got == 0) break;
            filled += static_cast<size_t>(got);
        }
        if (filled == 0) break;
        encoded.clear();
        orvik::mime::AppendBase64(encoded, std::string_view(buffer.data(), filled));
        writer(encoded);
        if (filled < buffer.size()) break;
    }
}
