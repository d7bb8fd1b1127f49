// Delivery of the exported page: an HTML mail whose pictures travel inside the message as inline
// parts ("cid:" references), with the task's files attached; or the page and its pictures uploaded
// to an FTP server, the page rewritten to refer to its pictures by bare name in the same remote
// folder. Mail server errors are not caught here: they end the run in order (the caller logs
// them), since a half-sent delivery is not something to carry on from.
#include <glob.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/TextEncoding.h"
#include "model/OvCombos.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "net/FTPTransferer.h"
#include "net/ServerAddress.h"
#include "net/ZelSMTPConnection.h"
#include "net/ZelSMTPMessage.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"
#include "render/HtmlDocument.h"
#include "tasks/HtmlExport.h"

namespace {

using orvik::AppContext;

// Any valid address will do when the settings name no sender; this one says where the mail is
// from and cannot be mistaken for a person's.
constexpr const char* kPlaceholderSender = "orvik-report@localhost.localdomain";

// Error and result texts go to the log in an unattended run and to a person otherwise.
void Report(const std::string& text, bool isError) {
    AppContext* context = AppContext::Current();
    if (isError && context) context->NoteError();
    if (context && context->BatchMode) {
        UxSaveLog(text, __FILE__, __LINE__);
    } else {
        orvik::ShowMessage(text, {}, orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::None);
    }
}

bool HasDrive(const std::string& path) {
    return orvik::IsAbsolutePath(path) || path.find(':') != std::string::npos;
}

// The pictures of one delivery: each distinct local file once, numbered in the order first met.
class PictureResolver {
  public:
    PictureResolver(const std::string& htmlFolder, CZelSMTPMessage* message)
        : htmlFolder_(htmlFolder), message_(message) {}

    // The content id (mail) or bare file name (FTP) a page reference becomes; "" for none.
    std::string Resolve(const std::string& reference) {
        if (reference.empty()) return {};
        std::string path = reference;
        for (const char* prefix : {"about:blank", "file:///"}) {
            for (size_t at; (at = path.find(prefix)) != std::string::npos;)
                path.erase(at, std::strlen(prefix));
        }
        for (size_t at; (at = path.find("%20")) != std::string::npos;) path.replace(at, 3, " ");
        path = orvik::ToNativePath(path);
        if (!HasDrive(path)) path = htmlFolder_ + path;
        const std::string name = orvik::FileNameOf(path);
        for (const auto& [known, id] : pictures_) {
            if (known == path) return message_ ? id : name;
        }
        const std::string id = "OrvikID" + std::to_string(pictures_.size());
        pictures_.emplace_back(path, id);
        if (!message_) return name;
        CZelSMTPBodyPart part;
        part.SetFilename(path);
        part.SetContentType(PictureType(path));
        part.SetContentID(id);
        message_->AddBodyPart(part);
        return id;
    }

    size_t Count() const { return pictures_.size(); }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& picture : pictures_) paths.push_back(picture.first);
        return paths;
    }

  private:
    static std::string PictureType(const std::string& path) {
        const size_t dot = path.rfind('.');
        const std::string extension =
            dot == std::string::npos ? "" : orvik::ToUpperAscii(path.substr(dot + 1));
        if (extension == "GIF") return "image/gif";
        if (extension == "PNG") return "image/png";
        if (extension == "BMP") return "image/bmp";
        return "image/jpeg";
    }

    std::string htmlFolder_;
    CZelSMTPMessage* message_;
    std::vector<std::pair<std::string, std::string>> pictures_;
};

// Rewrites every IMG source and TD background of `html` through the resolver.
std::string RewritePictures(const std::string& html, PictureResolver& resolver,
                            const std::string& prefix) {
    CHtmlDocument page(html);
    const auto rewrite =
        [&](const std::optional<std::string>& value) -> std::optional<std::string> {
        if (!value) return std::nullopt;
        const std::string resolved = resolver.Resolve(*value);
        if (resolved.empty()) return std::nullopt;
        return prefix + resolved;
    };
    page.RewriteAttribute("IMG", "src", rewrite);
    page.RewriteAttribute("TD", "background", rewrite);
    return page.Html();
}

// The charset a page declares in its Content-Type META, as the mail's character set; "" for none.
std::string DeclaredMailCharset(const std::string& page) {
    std::string squeezed = orvik::ToUpperAscii(page);
    std::erase(squeezed, ' ');
    const std::string marker = "HTTP-EQUIV=\"CONTENT-TYPE\"CONTENT=\"TEXT/HTML;CHARSET=";
    const size_t at = squeezed.find(marker);
    if (at == std::string::npos || at == 0) return {};
    const size_t start = at + marker.size();
    return squeezed.substr(start, squeezed.find('"', start) - start);
}

// The existing files a name or pattern stands for, in the order the system gives them.
std::vector<std::string> MatchingFiles(const std::string& pattern) {
    std::vector<std::string> files;
    glob_t matches{};
    if (::glob(pattern.c_str(), 0, nullptr, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc; ++i) {
            std::error_code error;
            if (!std::filesystem::is_directory(matches.gl_pathv[i], error))
                files.push_back(matches.gl_pathv[i]);
        }
    }
    ::globfree(&matches);
    return files;
}

std::string Join(const std::vector<std::string>& items, const char* separator) {
    std::string joined;
    for (const std::string& item : items) joined += (joined.empty() ? "" : separator) + item;
    return joined;
}

void SendMail(const COvInfoAct& task, const std::string& server, std::string content,
              std::string files) {
    AppContext& context = *AppContext::Current();
    std::string recipients = task.Get("Adr");
    if (recipients.empty()) recipients = GetPropS("DefAdrTo");
    if (recipients.empty()) {
        Report("Error: SendExport Empty ExportAdres !", true);
        return;
    }
    std::string subject = task.Name.Value + " " + EvalDateExpr("");
    if (const std::string own = task.Get("Subj"); !own.empty()) subject = DSetParam(own);

    CZelSMTPConnection connection;
    const orvik::ServerAddress address =
        orvik::SplitServerAddress(server, CZelSMTPConnection::kDefaultPort);
    connection.Connect(address.Host, address.Port);

    // The mail client converts text into the message's character set, which is the one the page
    // declares; a page declaring windows-1251 that holds characters it cannot has its declaration
    // changed to UTF-8 first, so the message and the page agree.
    CZelSMTPMessage message;
    std::string charset = DeclaredMailCharset(content);
    if (charset == "WINDOWS-1251" && !orvik::Utf8ToCp1251(content)) {
        content = WithDeclaredCharset(content, "UTF-8");
        charset = "UTF-8";
    }
    if (!charset.empty()) message.SetCharset(charset);
    message.SetMime(true);
    std::string sender = GetPropS("DefAdrFrom");
    if (sender.empty()) {
        UxSaveLog("Error SendMail: no From Adres! to " + recipients, __FILE__, __LINE__);
        sender = kPlaceholderSender;
    }
    message.From = CZelSMTPAddress(sender);
    message.Subject = subject;

    if (recipients.find(';') == std::string::npos) {
        CZelSMTPMessage::ParseRecipients(recipients, message.To);
    } else {
        size_t start = 0;
        bool first = true;
        for (size_t end; start <= recipients.size(); start = end + 1) {
            end = recipients.find(';', start);
            if (end == std::string::npos) end = recipients.size();
            const std::string piece = recipients.substr(start, end - start);
            if (piece.find_first_not_of(" \t") == std::string::npos) continue;
            std::vector<CZelSMTPAddress> parsed;
            CZelSMTPMessage::ParseRecipients(piece, parsed);
            auto& list = first ? message.To : message.Cc;
            list.insert(list.end(), parsed.begin(), parsed.end());
            first = false;
        }
    }

    if (!content.empty()) {
        PictureResolver pictures(context.Registries().HtmlFolder, &message);
        // Pictures are resolved on the UTF-8 text (file names), then the page is encoded again.
        const std::string rewritten = RewritePictures(content, pictures, "cid:");
        if (pictures.Count() > 0) {
            message.AddHTMLBody(rewritten);
            message.SetContentType("multipart/alternative");
        } else {
            message.AddHTMLBody(content);
        }
    }
    if (!files.empty()) {
        std::vector<std::string> entries;
        if (files.find('*') != std::string::npos) {
            entries = MatchingFiles(files);
        } else {
            size_t start = 0;
            for (size_t end; start <= files.size(); start = end + 1) {
                end = files.find(';', start);
                if (end == std::string::npos) end = files.size();
                if (end > start) entries.push_back(files.substr(start, end - start));
            }
        }
        const bool anyExists =
            std::any_of(entries.begin(), entries.end(), [](const std::string& f) {
                std::error_code error;
                return std::filesystem::exists(f, error);
            });
        if (entries.empty() || !anyExists) {
            const std::string notFound = "Export file " + files + " not found";
            message.AddTextBody(notFound);
        } else {
            if (files.find('*') != std::string::npos) files = Join(entries, ";");
            message.AddAttachments(Join(entries, ";"));
        }
    }

    SetPaneTextStatBar(0, ("E-Mail Sending mail to: " + recipients).c_str());
    connection.SendMessage(message);
    SetPaneTextStatBar(0, "");
    UxSaveLog("Zel Sended Mail " + subject + " <" + files + "> to " + recipients, __FILE__,
              __LINE__);
    // A single file made for this mail (the page, a "file = " content) is not kept.
    std::error_code error;
    if (!files.empty() && files.find(';') == std::string::npos &&
        std::filesystem::is_regular_file(files, error)) {
        std::filesystem::remove(files, error);
    }
    connection.Disconnect();
}

void UploadFiles(const COvInfoAct& task, const std::string& server, const std::string& content) {
    AppContext& context = *AppContext::Current();
    const std::string& htmlFolder = context.Registries().HtmlFolder;
    const std::string rawFiles = task.Get("Files");
    std::vector<std::string> local;
    if (!rawFiles.empty() && rawFiles != "*.*") {
        size_t start = 0;
        for (size_t end; start <= rawFiles.size(); start = end + 1) {
            end = rawFiles.find(';', start);
            if (end == std::string::npos) end = rawFiles.size();
            if (end > start) local.push_back(rawFiles.substr(start, end - start));
        }
        if (!local.empty() && !HasDrive(orvik::ToNativePath(local[0])))
            local[0] = htmlFolder + local[0];
    } else {
        PictureResolver pictures(htmlFolder, nullptr);
        const std::string page = RewritePictures(content, pictures, "");
        UxWriteFile(PageFilePath(), page);
        local.push_back(PageFilePath());
        for (const std::string& picture : pictures.Paths()) local.push_back(picture);
    }

    std::vector<std::string> done;
    for (const std::string& entry : local) {
        const std::string file = orvik::ToNativePath(entry);
        UxFTPTransferer transfer;
        transfer.Download = false;
        transfer.Server = server;
        transfer.UserName = task.Get("User");
        transfer.Password = task.Get("Password");
        transfer.LocalFile = file;
        transfer.RemoteFile = orvik::FileNameOf(file);
        const std::string tail =
            orvik::ToUpperAscii(file.size() >= 4 ? file.substr(file.size() - 4) : file);
        transfer.Binary = tail == ".JPG" || tail == ".PNG" || tail == ".GIF";
        SetPaneTextStatBar(
            0,
            ("FTP Uploading file: " + file + "  TO remote file: " + transfer.RemoteFile).c_str());
        if (transfer.Upload()) {
            done.push_back(file);
        } else {
            Report("Error FTP UpLoad of file '" + file + "'\n'" + transfer.ErrorText + "'", true);
        }
    }
    SetPaneTextStatBar(0, "");
    if (done.empty()) return;
    std::string list = Join(done, ";");
    if (list.size() > 1000) list = list.substr(0, 1000) + " ...";
    Report("FTP UpLoad to '" + server + "' files:'" + list + "'", false);
}

}  // namespace

void COvInfoAct::SendExport() {
    AppContext* context = AppContext::Current();
    if (!context) return;
    if (const COvCombos* entry = AType.Value.empty() ? nullptr : AType.SelectedEntry();
        entry && entry->PlugInIndex >= 0) {
        if (context->Tasks().PlugInDelivery)
            context->Tasks().PlugInDelivery(entry->PlugInIndex, *this);
        return;
    }
    context->Front().SetWaitCursor(true);
    struct BusyEnd {
        AppContext* context;
        ~BusyEnd() { context->Front().SetWaitCursor(false); }
    } busyEnd{context};

    const CReport& report = context->Report();
    std::string content = report.PageText;
    if (const std::string own = Get("Cont"); !own.empty()) content = DSetParam(own);
    std::string files;
    if (const std::string own = Get("Files"); !own.empty()) files = DSetParam(own);
    if (content.compare(0, 7, "file = ") == 0) {
        files = content.substr(7);
        content.clear();
    } else if (!report.PageText.empty()) {
        UxWriteFile(PageFilePath(), content);
    } else {
        files = PageFilePath();
    }
    files = orvik::ToNativePath(files);
    if (!files.empty() && !HasDrive(files)) files = context->Registries().HtmlFolder + files;

    const bool mail = AType.Value == "SMTP";
    std::string server = Get("Srv");
    // An upload task falls back on the FTP setting first: that is what the setting is for.
    if (server.empty() && !mail) server = GetPropS("DefSrvFTP");
    if (server.empty()) server = GetPropS("DefSrvMail");
    if (server.empty()) {
        Report("Error: SendExport Empty ExportServer !", true);
        return;
    }
    if (mail) {
        SendMail(*this, server, content, files);
    } else if (AType.Value == "FTP") {
        UploadFiles(*this, server, content);
    }
}
