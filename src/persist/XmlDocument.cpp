// Tolerant single-pass parsing, fixed-layout generation and byte-exact file I/O for CXmlDocument.
#include "persist/XmlDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "core/TextEncoding.h"

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";

// Indentation stops growing here. Reports nest four levels; without a cap, writing back a
// hostile file nested a million deep would cost tabs quadratic in its size. The reader trims
// the tabs away, so the cap changes nothing that is read back.
constexpr std::size_t kMaxIndent = 64;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

void AppendIndent(std::string& out, std::size_t depth) {
    out.append(std::min(depth, kMaxIndent), '\t');
}

// Writes the start of an element. Returns false when the element was written whole in the
// empty form, true when its children and end tag must follow.
bool OpenElement(std::string& out, const CXmlElement& element, std::size_t depth) {
    const std::string& value = element.GetValue();
    const bool hasChildren = !element.GetChildren().empty();
    AppendIndent(out, depth);
    out += '<';
    out += element.GetName();
    if (!element.GetAttributes().empty()) {
        out += ' ';
        out += element.GetAttributes();
    }
    if (value.empty() && !hasChildren) {
        out += " />\r\n";
        return false;
    }
    out += '>';
    if (value.empty()) {
        out += "\r\n";
    } else {
        out += value;
        if (hasChildren) {
            out += "\r\n";
        }
    }
    return true;
}

void CloseElement(std::string& out, const CXmlElement& element, std::size_t depth) {
    // A value-only element keeps its end tag on the same line as the value.
    if (element.GetValue().empty() || !element.GetChildren().empty()) {
        AppendIndent(out, depth);
    }
    out += "</";
    out += element.GetName();
    out += ">\r\n";
}

[[noreturn]] void ThrowFileError(int error, const std::string& path) {
    throw std::system_error(error, std::generic_category(), "Cannot write file \"" + path + "\"");
}

// Writes all of `text`, riding out interrupted and partial writes. Returns 0 or an errno value.
int WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

int CXmlDocument::Load(const std::string& path) {
    std::optional<std::string> text = ReadFileText(path);
    if (!text) {
        return 0;
    }
    return Parse(std::move(*text));
}

int CXmlDocument::Save(const std::string& path) const {
    WriteFileText(path, Generate());
    return 1;
}

int CXmlDocument::Parse(std::string text) {
    Reset();
    Xml = std::move(text);

    // Text runs and tags are both contiguous stretches of Xml (a "<" restarts the tag, a ">"
    // outside a tag is ordinary text), so the parser tracks where they start instead of copying
    // bytes into buffers.
    const std::string_view xml(Xml);
    std::size_t valueStart = 0;
    std::size_t tagStart = 0;
    bool inTag = false;
    for (std::size_t i = 0; i < xml.size(); ++i) {
        const char c = xml[i];
        if (c == '<') {
            // A "<" inside an unfinished tag abandons that tag; the text before it is then empty.
            StoreValue(inTag ? std::string_view() : xml.substr(valueStart, i - valueStart));
            tagStart = i;
            inTag = true;
        } else if (c == '>' && inTag) {
            // Only a ">" that ends a tag counts. A bare ">" is legal in XML text (a query's
            // "a > 5"); taken as a tag it would open a nameless element that swallows every
            // element after it.
            ProcessTag(xml.substr(tagStart + 1, i - tagStart - 1));
            inTag = false;
            valueStart = i + 1;
        }
    }
    // Text after the last tag and an unfinished last tag belong to no element and are dropped.
    return 1;
}

void CXmlDocument::StoreValue(std::string_view raw) {
    if (skipped_ > 0) return;  // text of an element left out
    // Each "<" overwrites the current element's value, so in mixed content the last run of text
    // before the end tag wins. Trimming first and decoding second gives the same text as the
    // other way round (no entity decodes to white space) and spares copying the indentation.
    Current->Value = CXmlElement::Decode(orvik::Trim(raw, kWhiteSpace));
}

void CXmlDocument::ProcessTag(std::string_view inner) {
    if (!inner.empty() && (inner.front() == '!' || inner.front() == '?')) {
        return;  // comment, document type or declaration
    }
    const bool closing = !inner.empty() && inner.front() == '/';
    if (closing) {
        inner.remove_prefix(1);
    }
    const bool empty = !inner.empty() && inner.back() == '/';
    if (empty) {
        inner.remove_suffix(1);
    }
    // End tags are not matched against the open element: any of them closes the current one,
    // which keeps a file with a mistyped end tag readable. "</a/>" is still just an end tag.
    if (closing) {
        if (skipped_ > 0) {
            --skipped_;
        } else if (Current->Parent != nullptr) {
            Current = Current->Parent;
            --depth_;
        } else if (!Root.Name.empty()) {
            rootClosed_ = true;
        }
        return;
    }

    const std::size_t blank = inner.find(' ');
    const std::string_view name = inner.substr(0, blank);
    const std::string_view attributes = blank == std::string_view::npos
                                            ? std::string_view()
                                            : orvik::Trim(inner.substr(blank + 1), kWhiteSpace);
    if (skipped_ > 0 || (depth_ >= kMaxDepth && !Root.Name.empty())) {
        if (!tooDeepAt_) tooDeepAt_ = static_cast<std::size_t>(inner.data() - Xml.data()) - 1;
        if (!empty) ++skipped_;
        return;
    }
    if (Root.Name.empty()) {
        // Nothing has been created below the root yet, so Current is the root.
        Root.Name.assign(name);
        Root.Attributes.assign(attributes);
    } else {
        Current = Current->AddChild(std::string(name));
        Current->Attributes.assign(attributes);
        ++depth_;
    }
    if (empty && Current->Parent != nullptr) {
        Current = Current->Parent;
        --depth_;
    } else if (empty) {
        rootClosed_ = true;
    }
}

std::string CXmlDocument::Generate() const {
    std::string out = Header;
    out += "\r\n";
    // An explicit stack rather than recursion: a parsed file may nest arbitrarily deep.
    struct Frame {
        const CXmlElement* element;
        std::size_t nextChild;
    };
    std::vector<Frame> stack;
    if (OpenElement(out, Root, 0)) {
        stack.push_back({&Root, 0});
    }
    while (!stack.empty()) {
        const std::size_t depth = stack.size() - 1;
        Frame& top = stack.back();
        if (top.nextChild < top.element->Children.size()) {
            const CXmlElement* child = top.element->Children[top.nextChild++].get();
            if (OpenElement(out, *child, depth + 1)) {
                stack.push_back({child, 0});
            }
        } else {
            CloseElement(out, *top.element, depth);
            stack.pop_back();
        }
    }
    return out;
}

CXmlElement* CXmlDocument::AddElement(CXmlElement* parent, std::string_view name,
                                      std::string_view value, std::string_view attributes) {
    if (parent == nullptr) {
        return nullptr;
    }
    CXmlElement* element = parent->AddChild(std::string(orvik::Trim(name, " ")));
    element->Value = CXmlElement::Escape(value);
    element->Attributes = CXmlElement::Escape(attributes);
    return element;
}

CXmlElement* CXmlDocument::GetFirstChild(CXmlElement* element) {
    if (element == nullptr) {
        return nullptr;
    }
    element->IterPos = 0;
    return GetNextChild(element);
}

CXmlElement* CXmlDocument::GetNextChild(CXmlElement* element) {
    if (element == nullptr || element->IterPos >= element->Children.size()) {
        return nullptr;
    }
    return element->Children[element->IterPos++].get();
}

CXmlElement* CXmlDocument::FindFirstChild(CXmlElement* element, std::string_view name) {
    if (element == nullptr) {
        return nullptr;
    }
    element->FindName.assign(name);
    element->IterPos = 0;
    return FindNextChild(element);
}

CXmlElement* CXmlDocument::FindNextChild(CXmlElement* element) {
    if (element == nullptr) {
        return nullptr;
    }
    while (element->IterPos < element->Children.size()) {
        CXmlElement* child = element->Children[element->IterPos++].get();
        if (EqualsIgnoreCase(child->Name, element->FindName)) {
            return child;
        }
    }
    return nullptr;
}

void CXmlDocument::Reset() {
    Root.RemoveChildren();
    Root.Name.clear();
    Root.Attributes.clear();
    Root.Value.clear();
    Root.FindName.clear();
    Current = &Root;
    rootClosed_ = false;
    tooDeepAt_.reset();
    depth_ = skipped_ = 0;
}

std::optional<std::string> CXmlDocument::ReadFileText(const std::string& path) {
    std::optional<std::string> text = ReadFileBytes(path);
    if (text) DropCarriageReturns(*text);
    return text;
}

void CXmlDocument::DropCarriageReturns(std::string& text) {
    std::erase(text, '\r');
}

std::optional<std::string> CXmlDocument::ReadFileBytes(const std::string& path) {
    // O_NONBLOCK so that a FIFO named as a report cannot stall the program waiting for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;  // the file shrank while we read it; keep what was there
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    return text;
}

void CXmlDocument::WriteFileText(const std::string& path, std::string_view text) {
    // Replace the file a symbolic link points at, not the link itself.
    std::string target = path;
    std::error_code ignored;
    if (std::filesystem::is_symlink(path, ignored)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
        if (!ignored) {
            target = resolved.string();
        }
    }

    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".~" + std::to_string(::getpid()) + "." + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        ThrowFileError(errno, path);
    }

    // A replaced file keeps its permissions; a new one gets the usual ones (0666 less umask).
    struct stat old {};
    int error = 0;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            error = errno;
        }
    }
    if (error == 0) {
        error = WriteAll(fd, text);
    }
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        ThrowFileError(error, path);
    }
}
