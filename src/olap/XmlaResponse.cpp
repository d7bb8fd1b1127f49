// Elements are recognised by namespace and local name, never by prefix: one server writes
// "cxmla:ExecuteResponse", another a default namespace, and both mean the same. A server's
// error text is passed on as it wrote it, since that is what its administrator will search for;
// it is only capped in length and count so a hostile reply cannot flood the log.
#include "olap/XmlaResponse.h"

#include <algorithm>

#include "olap/XmlaRequest.h"

namespace orvik::xmla {
namespace {

constexpr size_t kMaxMessages = 20;
constexpr size_t kMaxMessageLength = 2000;

void AddMessage(std::vector<std::string>& messages, std::string text) {
    if (text.empty() || messages.size() >= kMaxMessages) return;
    if (text.size() > kMaxMessageLength) text = text.substr(0, kMaxMessageLength) + "...";
    if (std::find(messages.begin(), messages.end(), text) == messages.end())
        messages.push_back(std::move(text));
}

// The texts inside a fault's detail: Description attributes (XMLA's Error elements) and the
// text of description elements, wherever they are nested.
void CollectDetail(XmlaXmlReader& reader, std::vector<std::string>& texts) {
    reader.Children([&] {
        if (auto description = reader.Attribute("Description")) {
            AddMessage(texts, *description);
        } else if (reader.LocalName() == "desc" || reader.LocalName() == "Description") {
            AddMessage(texts, reader.ElementText());
        } else {
            CollectDetail(reader, texts);
        }
    });
}

[[noreturn]] void ThrowFault(XmlaXmlReader& reader) {
    std::string code, text;
    std::vector<std::string> details;
    reader.Children([&] {
        if (reader.LocalName() == "faultcode") {
            code = reader.ElementText();
        } else if (reader.LocalName() == "faultstring") {
            text = reader.ElementText();
        } else if (reader.LocalName() == "detail") {
            CollectDetail(reader, details);
        }
    });
    std::vector<std::string> lines;
    AddMessage(lines, text);
    for (std::string& detail : details) AddMessage(lines, std::move(detail));
    std::string message = "The OLAP server reports an error";
    if (!code.empty()) message += " (" + code.substr(0, kMaxMessageLength) + ")";
    message += ":";
    for (const std::string& line : lines) message += "\n" + line;
    if (lines.empty()) message += " it gave no description";
    throw XmlaFault(message, code);
}

// A Messages element: errors go to `errors` (with their codes), warnings to the reply's list.
void ReadMessages(XmlaXmlReader& reader, std::vector<std::string>& errors, std::string& errorCode,
                  ReplyInfo& info) {
    reader.Children([&] {
        const std::string description = reader.Attribute("Description").value_or("");
        if (reader.LocalName() == "Error") {
            if (errorCode.empty()) errorCode = reader.Attribute("ErrorCode").value_or("");
            AddMessage(errors, description.empty() ? "an error without description" : description);
        } else if (reader.LocalName() == "Warning") {
            AddMessage(info.Warnings, description);
        }
    });
}

void ReadRoot(XmlaXmlReader& reader, ReplyPayload& payload, ReplyInfo& info) {
    payload.Begin(reader.NamespaceUri());
    std::vector<std::string> errors;
    std::string errorCode;
    reader.Children([&] {
        if (reader.NamespaceUri() == kExceptionNs) {
            if (reader.LocalName() == "Messages") ReadMessages(reader, errors, errorCode, info);
            return;  // the Exception element only marks that Messages follow
        }
        payload.Child(reader);
    });
    if (!errors.empty()) {
        std::string message = "The OLAP server reports an error";
        if (!errorCode.empty()) message += " (" + errorCode.substr(0, 40) + ")";
        message += ":";
        for (const std::string& error : errors) message += "\n" + error;
        throw XmlaFault(message, errorCode);
    }
    payload.End();
}

bool IsMethodResponse(const XmlaXmlReader& reader) {
    return reader.NamespaceUri() == kXmlaNs &&
           (reader.LocalName() == "DiscoverResponse" || reader.LocalName() == "ExecuteResponse");
}

// Reads the DiscoverResponse/ExecuteResponse element; true when it held a result root.
bool ReadMethodResponse(XmlaXmlReader& reader, ReplyPayload& payload, ReplyInfo& info) {
    bool sawRoot = false;
    reader.Children([&] {
        if (reader.LocalName() != "return") return;
        reader.Children([&] {
            if (reader.LocalName() != "root" || sawRoot) return;
            sawRoot = true;
            ReadRoot(reader, payload, info);
        });
    });
    return sawRoot;
}

}  // namespace

bool XmlaFault::IsMustUnderstand() const {
    return faultCode_.find("MustUnderstand") != std::string::npos;
}

ReplyInfo ReadReply(XmlaXmlReader& reader, ReplyPayload& payload) {
    ReplyInfo info;
    bool found = false;
    while (!found) {
        if (!reader.Read())
            throw CADOException(AdoError::Failure, "The OLAP server's reply is empty", "XMLA");
        found = reader.AtElement();
    }
    bool sawRoot = false;
    if (reader.Is("Envelope", kSoapEnvelopeNs)) {
        reader.Children([&] {
            if (reader.Is("Header", kSoapEnvelopeNs)) {
                reader.Children([&] {
                    if (reader.LocalName() == "Session")
                        info.SessionId = reader.Attribute("SessionId").value_or("");
                });
            } else if (reader.Is("Body", kSoapEnvelopeNs)) {
                reader.Children([&] {
                    if (reader.Is("Fault", kSoapEnvelopeNs)) ThrowFault(reader);
                    if (IsMethodResponse(reader) && !sawRoot)
                        sawRoot = ReadMethodResponse(reader, payload, info);
                });
            }
        });
    } else if (IsMethodResponse(reader)) {
        sawRoot = ReadMethodResponse(reader, payload, info);
    } else if (reader.LocalName() == "root") {
        sawRoot = true;
        ReadRoot(reader, payload, info);
    } else {
        std::string name(reader.LocalName().substr(0, 40));
        throw CADOException(AdoError::Failure,
                            "The server's reply is not an XMLA reply: its document element is <" +
                                name + ">. Check that Data Source is the server's XMLA address",
                            "XMLA");
    }
    if (!sawRoot)
        throw CADOException(AdoError::Failure, "The OLAP server's reply holds no result", "XMLA");
    return info;
}

}  // namespace orvik::xmla
