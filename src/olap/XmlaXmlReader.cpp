// libxml2 pulls the reply through a read callback. The callback may not throw through libxml2's
// C frames, so a transport failure is kept and thrown again once the reader has returned; the
// parser's own complaints arrive through the structured error handler and are kept the same way.
#include "olap/XmlaXmlReader.h"

#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "data/AdoException.h"

namespace orvik {

namespace {

constexpr const char* kSource = "XMLA";

const char* Chars(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : "";
}

const xmlChar* XmlChars(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

}  // namespace

size_t XmlaMemorySource::Read(char* buffer, size_t size) {
    const size_t count = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return count;
}

struct XmlaXmlReader::Handle {
    xmlTextReaderPtr Reader = nullptr;
    ~Handle() {
        if (Reader) xmlFreeTextReader(Reader);
    }
};

XmlaXmlReader::XmlaXmlReader(XmlaByteSource& source)
    : handle_(std::make_unique<Handle>()), source_(source) {
    // No network, no entity substitution, no DTD loading: a reply can neither reach out nor
    // expand itself; blank text between elements is of no interest.
    handle_->Reader = xmlReaderForIO(&XmlaXmlReader::ReadCallback, &XmlaXmlReader::CloseCallback,
                                     this, nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
    // The reader takes the reply's first bytes at once, so the transport may already have failed.
    if (sourceError_) std::rethrow_exception(sourceError_);
    if (!handle_->Reader)
        throw CADOException(AdoError::Failure, "Cannot start the XML reader for the XMLA reply",
                            kSource);
    xmlTextReaderSetStructuredErrorHandler(
        handle_->Reader,
        [](void* context, xmlErrorPtr error) {
            auto* self = static_cast<XmlaXmlReader*>(context);
            // The first error is the one that explains; warnings explain nothing that failed.
            if (!error || error->level < XML_ERR_ERROR || !self->parseError_.empty()) return;
            std::string message = error->message ? error->message : "malformed XML";
            while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
                message.pop_back();
            self->parseError_ = message + " (line " + std::to_string(error->line) + ")";
        },
        this);
}

XmlaXmlReader::~XmlaXmlReader() = default;

int XmlaXmlReader::ReadCallback(void* context, char* buffer, int size) {
    auto* self = static_cast<XmlaXmlReader*>(context);
    try {
        const size_t count = self->source_.Read(buffer, static_cast<size_t>(size));
        self->bytesRead_ += count;
        return static_cast<int>(count);
    } catch (...) {
        self->sourceError_ = std::current_exception();
        return -1;
    }
}

void XmlaXmlReader::Fail(const std::string& what) const {
    throw CADOException(AdoError::Failure, "The XMLA reply cannot be read: " + what, kSource);
}

bool XmlaXmlReader::Read() {
    ++serial_;
    const int result = xmlTextReaderRead(handle_->Reader);
    if (sourceError_) std::rethrow_exception(sourceError_);
    if (result < 0 && bytesRead_ == 0) Fail("it is empty");
    if (result < 0) Fail(parseError_.empty() ? "it is not well-formed XML" : parseError_);
    if (result == 0) return false;
    if (Depth() > kMaxDepth)
        Fail("its elements nest more than " + std::to_string(kMaxDepth) + " deep (" + Where() +
             ")");
    return true;
}

bool XmlaXmlReader::AtElement() const {
    return xmlTextReaderNodeType(handle_->Reader) == XML_READER_TYPE_ELEMENT;
}

bool XmlaXmlReader::IsEmptyElement() const {
    return xmlTextReaderIsEmptyElement(handle_->Reader) == 1;
}

int XmlaXmlReader::Depth() const {
    return xmlTextReaderDepth(handle_->Reader);
}

std::string_view XmlaXmlReader::LocalName() const {
    return Chars(xmlTextReaderConstLocalName(handle_->Reader));
}

std::string_view XmlaXmlReader::NamespaceUri() const {
    return Chars(xmlTextReaderConstNamespaceUri(handle_->Reader));
}

bool XmlaXmlReader::Is(std::string_view localName, std::string_view ns) const {
    return AtElement() && LocalName() == localName && (ns.empty() || NamespaceUri() == ns);
}

std::optional<std::string> XmlaXmlReader::Attribute(const char* name) const {
    xmlChar* value = xmlTextReaderGetAttribute(handle_->Reader, XmlChars(name));
    if (!value) return std::nullopt;
    std::string text(Chars(value));
    xmlFree(value);
    return text;
}

std::optional<std::string> XmlaXmlReader::Attribute(const char* localName, const char* ns) const {
    xmlChar* value =
        xmlTextReaderGetAttributeNs(handle_->Reader, XmlChars(localName), XmlChars(ns));
    if (!value) return std::nullopt;
    std::string text(Chars(value));
    xmlFree(value);
    return text;
}

std::string_view XmlaXmlReader::AttributeView(const char* name, const char* ns) {
    xmlTextReaderPtr reader = handle_->Reader;
    const int found = ns ? xmlTextReaderMoveToAttributeNs(reader, XmlChars(name), XmlChars(ns))
                         : xmlTextReaderMoveToAttribute(reader, XmlChars(name));
    attribute_.clear();
    if (found != 1) return attribute_;
    attribute_ = Chars(xmlTextReaderConstValue(reader));
    xmlTextReaderMoveToElement(reader);
    return attribute_;
}

std::string XmlaXmlReader::ElementText() {
    std::string text;
    if (IsEmptyElement()) {
        ++serial_;  // read, though nothing had to be
        return text;
    }
    const int depth = Depth();
    while (Read()) {
        const int type = xmlTextReaderNodeType(handle_->Reader);
        if (type == XML_READER_TYPE_END_ELEMENT && Depth() == depth) return text;
        if (type == XML_READER_TYPE_ELEMENT) {
            SkipElement();
        } else if (Depth() == depth + 1 &&
                   (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                    type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE)) {
            const std::string_view part = Chars(xmlTextReaderConstValue(handle_->Reader));
            if (text.size() + part.size() > kMaxText)
                Fail("the text of <" + std::string(LocalName()) + "> is longer than " +
                     std::to_string(kMaxText) + " bytes (" + Where() + ")");
            text += part;
        }
    }
    Fail("it ends inside an element");
}

void XmlaXmlReader::SkipElement() {
    const bool empty = IsEmptyElement();
    ++serial_;
    FinishElement(Depth(), empty);
}

void XmlaXmlReader::FinishElement(int depth, bool empty) {
    if (empty) return;
    while (Read()) {
        if (xmlTextReaderNodeType(handle_->Reader) == XML_READER_TYPE_END_ELEMENT &&
            Depth() == depth)
            return;
    }
    Fail("it ends inside an element");
}

std::string XmlaXmlReader::Where() const {
    return "line " + std::to_string(xmlTextReaderGetParserLineNumber(handle_->Reader));
}

}  // namespace orvik
