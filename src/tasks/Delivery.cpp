// Delivery of the exported page: an HTML mail whose pictures travel inside the message as inline
// parts ("cid:" references), with the task's files attached; or the page and its pictures uploaded
// to an FTP server, the page rewritten to refer to its pictures by bare name in the same remote
// folder. Mail server errors of a step's own delivery are not caught here: they end the run in
// order (the caller logs them), since a half-sent delivery is not something to carry on from. A
// mail to one of many recipients (MailPageTo) hands its failure back instead, so the others
// still get theirs.
#include <glob.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/Log.h"
#include "core/Paths.h"
#include "core/Run.h"
#include "core/TextEncoding.h"
#include "model/OvCombos.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "net/FTPTransferer.h"
#include "net/Mime.h"
#include "net/ServerAddress.h"
#include "net/ZelSMTPConnection.h"
#include "net/ZelSMTPException.h"
#include "net/ZelSMTPMessage.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"
#include "render/HtmlDocument.h"
#include "tasks/Delivery.h"
#include "tasks/FtpSession.h"
#include "tasks/HtmlExport.h"
#include "tasks/MailRendering.h"
#include "tasks/MailSession.h"

namespace {

using orvik::SubstitutionError;
using orvik::SubstitutionTarget;

unsigned char ToByte(char c) {
    return static_cast<unsigned char>(c);
}

// Any valid address will do when the settings name no sender; this one says where the mail is
// from and cannot be mistaken for a person's.
constexpr const char* kPlaceholderSender = "orvik-report@localhost.localdomain";

// Error and result texts go to the log in an unattended run and to a person otherwise.
void Report(orvik::Run& run, const std::string& text, bool isError) {
    if (isError) {
        // The error itself is the reason a failed run gives on the terminal, on one line.
        std::string reason = text;
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        run.NoteError(reason);
    }
    if (run.BatchMode) {
        UxSaveLog(run, text, __FILE__, __LINE__);
    } else {
        orvik::ShowMessage(run, text, {}, orvik::MessageBoxButtons::Ok,
                           orvik::MessageBoxIcon::None);
    }
}

// A failure of a delivery: reported like any other error, or handed back to a caller that mails
// many times over and reports each failure itself (`failure` not null).
void Fail(orvik::Run& run, const std::string& text, std::string* failure) {
    if (failure) {
        *failure = text;
    } else {
        Report(run, text, true);
    }
}

bool HasDrive(const std::string& path) {
    return orvik::IsAbsolutePath(path) || path.find(':') != std::string::npos;
}

// The scheme of a URL ("HTTP", "DATA", "FILE", ...), or "" when the reference has none. One
// letter before the colon is a Windows drive, not a scheme.
std::string SchemeOf(const std::string& reference) {
    const size_t colon = reference.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha(ToByte(reference[0]))) return {};
    for (size_t i = 1; i < colon; ++i) {
        const char c = reference[i];
        if (!std::isalnum(ToByte(c)) && c != '+' && c != '-' && c != '.') return {};
    }
    return orvik::ToUpperAscii(reference.substr(0, colon));
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Undoes the %XX escapes of a URL path. "%00" stays as written: a NUL would cut the path short
// where the system reads it and so name another file.
std::string PercentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            const int decoded = HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]);
            if (decoded != 0) {
                out += static_cast<char>(decoded);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The path of the local file a file URL names; "" for a file on another machine.
std::string FileUrlPath(const std::string& url) {
    std::string rest = url.substr(url.find(':') + 1);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.compare(0, 2, "//") == 0) {
        const size_t pathStart = rest.find('/', 2);
        const std::string host =
            pathStart == std::string::npos ? rest.substr(2) : rest.substr(2, pathStart - 2);
        if (!host.empty() && !orvik::EqualsIgnoringAsciiCase(host, "localhost")) return {};
        rest = pathStart == std::string::npos ? std::string() : rest.substr(pathStart);
    }
    std::string path = PercentDecoded(rest);
    // "file:///C:/Images/logo.gif", from a page made on Windows, keeps its drive.
    if (path.size() >= 3 && path[0] == '/' && std::isalpha(ToByte(path[1])) && path[2] == ':')
        path.erase(0, 1);
    return path;
}

// The entries of a ";"-list, blanks around each trimmed, empty ones left out.
std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> entries;
    for (size_t start = 0, end; start <= list.size(); start = end + 1) {
        end = std::min(list.find(';', start), list.size());
        const std::string_view entry =
            orvik::Trim(std::string_view(list).substr(start, end - start));
        if (!entry.empty()) entries.emplace_back(entry);
    }
    return entries;
}

// The folders a report may send pictures from: the program's, the work folder, the report's own,
// its layout's (HTMLPath) and those the setting PictureFolders names (";" between them). A page
// can name any file (a database value `<img src="/etc/shadow">` included): only these go out.
std::vector<std::filesystem::path> PictureFolders(orvik::Run& run) {
    std::vector<std::string> folders = {run.ProgramFolder(), run.Registries().HtmlFolder};
    const CReport& report = run.Report();
    if (!report.CurrentDocPath.empty())
        folders.push_back(std::filesystem::path(report.CurrentDocPath).parent_path().string());
    if (report.ReportObject) {
        if (const std::string layout = report.ReportObject->Get("HTMLPath"); !layout.empty())
            folders.push_back(orvik::ToNativePath(layout));
    }
    for (const std::string& folder : SplitList(run.Registries().SettingValue("PictureFolders")))
        folders.push_back(orvik::ToNativePath(folder));
    std::vector<std::filesystem::path> resolved;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (folder.empty()) continue;
        const std::filesystem::path path = std::filesystem::weakly_canonical(folder, error);
        if (!error) resolved.push_back(path);
    }
    return resolved;
}

// Whether `file` lies inside one of `folders` once links and ".." are resolved.
bool InsideOneOf(const std::string& file, const std::vector<std::filesystem::path>& folders) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(file, error);
    if (error) return false;
    for (const std::filesystem::path& folder : folders) {
        const auto [end, at] =
            std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
        if (end == folder.end() && at != path.end()) return true;
    }
    return false;
}

// The pictures of one delivery: each distinct local file once, numbered in the order first met.
class PictureResolver {
  public:
    PictureResolver(orvik::Run& run, const std::string& htmlFolder, CZelSMTPMessage* message)
        : run_(run), htmlFolder_(htmlFolder), message_(message), allowed_(PictureFolders(run)) {}

    // The content id (mail) or bare file name (FTP) a page reference becomes; "" for none. A
    // picture that is not a local file (a web address, inline data, a content id) stays as the
    // page has it: there is nothing here to attach or upload, and the reader fetches it itself.
    std::string Resolve(const std::string& reference) {
        const std::string path = LocalPath(reference);
        if (path.empty()) return {};
        if (!InsideOneOf(path, allowed_)) {
            if (std::find(refused_.begin(), refused_.end(), path) == refused_.end()) {
                refused_.push_back(path);
                UxSaveLog(run_,
                          "Picture '" + path +
                              "' is outside the folders a report may send pictures from (see the "
                              "setting PictureFolders); it stays a link",
                          __FILE__, __LINE__);
            }
            return {};
        }
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
    orvik::Run& run_;
    // The full path of the local picture file a reference names; "" when it names none.
    std::string LocalPath(const std::string& reference) const {
        std::string path = reference;
        // A page loaded from text resolves relative references against "about:blank".
        for (size_t at; (at = path.find("about:blank")) != std::string::npos;) path.erase(at, 11);
        if (path.empty()) return {};
        if (const std::string scheme = SchemeOf(path); scheme == "FILE") {
            path = FileUrlPath(path);
            if (path.empty()) return {};
        } else if (!scheme.empty()) {
            return {};
        } else {
            for (size_t at; (at = path.find("%20")) != std::string::npos;) path.replace(at, 3, " ");
        }
        path = orvik::ToNativePath(path);
        // "//host/logo.gif" is a web address without its scheme (or a share of another machine).
        if (path.compare(0, 2, "//") == 0) return {};
        return HasDrive(path) ? path : htmlFolder_ + path;
    }

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
    std::vector<std::filesystem::path> allowed_;
    std::vector<std::string> refused_;
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

// True when `path` names a regular file this program made and a mail may therefore remove: one
// in the HTML work folder (emptied whenever a report starts, so nothing there is the user's) or
// one an export wrote for the open report. Paths are compared with every link and ".." resolved,
// so a name that only leads through the work folder to somewhere else does not count: a link in
// the folder to a user's file leaves both the link and the file alone.
bool IsFileMadeHere(const std::string& path, orvik::Run& run) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return false;
    const fs::path file = fs::canonical(path, error);
    if (error) return false;
    if (run.WrittenFiles.contains(file.string())) return true;
    const fs::path folder = fs::canonical(run.Registries().HtmlFolder, error);
    if (error || folder.empty()) return false;
    const fs::path inside = file.lexically_relative(folder);
    return !inside.empty() && *inside.begin() != "..";
}

std::string Join(const std::vector<std::string>& items, const char* separator) {
    std::string joined;
    for (const std::string& item : items) joined += (joined.empty() ? "" : separator) + item;
    return joined;
}

// The files of a ";"-list of names and patterns, and the entries that named nothing.
struct Attachments {
    std::vector<std::string> Files;
    std::vector<std::string> Missing;
};

Attachments FindAttachments(const std::string& list) {
    Attachments found;
    for (const std::string& entry : SplitList(list)) {
        std::vector<std::string> files;
        if (entry.find('*') != std::string::npos) {
            files = MatchingFiles(entry);
        } else if (std::error_code error; std::filesystem::exists(entry, error) &&
                                          !std::filesystem::is_directory(entry, error)) {
            files.push_back(entry);
        }
        if (files.empty()) found.Missing.push_back(entry);
        found.Files.insert(found.Files.end(), files.begin(), files.end());
    }
    return found;
}

// Whether the step lets a mail go out without the attachments that are not there.
bool MissingFilesOptional(const COvInfoAct& step) {
    return orvik::Trim(step.Get("MissingFilesOptional")) == "1";
}

// `chosen` replaces the step's own addresses when given; its mail is one of several that share
// the files named, so none of them is removed afterwards.
void SendMail(orvik::Run& run, const COvInfoAct& task, const std::string& server,
              std::string content, std::string files, const std::string* chosen,
              std::string* failure) {
    std::string recipients = chosen ? *chosen : task.Get("Adr");
    if (recipients.empty() && !chosen) recipients = run.Registries().SettingValue("DefAdrTo");
    if (recipients.empty()) {
        Fail(run, "Error: SendExport Empty ExportAdres !", failure);
        return;
    }
    std::string subject = task.Name.Value + " " + EvalDateExpr(run, "");
    if (const std::string own = task.Get("Subj"); !own.empty()) {
        try {
            subject = DSetParam(run, own, SubstitutionTarget::MailHeader);
        } catch (const SubstitutionError& error) {
            Fail(run, std::string("Error: ") + error.what(), failure);
            return;
        }
    }

    // The mail client converts text into the message's character set, which is the one the page
    // declares; a page that holds characters its declared set cannot (or declares a set unknown
    // here) has its declaration changed to UTF-8 first, so the message and the page agree and
    // no reader is told to read UTF-8 bytes as some other set.
    CZelSMTPMessage message;
    std::string charset = DeclaredMailCharset(content);
    if (!charset.empty() && !orvik::mime::ConvertFromUtf8(content, charset)) {
        content = WithDeclaredCharset(content, "UTF-8");
        charset = "UTF-8";
    }
    if (!charset.empty()) message.SetCharset(charset);
    message.SetMime(true);
    std::string sender = run.Registries().SettingValue("DefAdrFrom");
    if (sender.empty()) {
        UxSaveLog(run, "Error SendMail: no From Adres! to " + recipients, __FILE__, __LINE__);
        sender = kPlaceholderSender;
    }
    // The setting may carry a name, "Reports <reports@example.org>", as any mail program allows.
    message.From = CZelSMTPAddress::Parse(sender);
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
        PictureResolver pictures(run, run.Registries().HtmlFolder, &message);
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
        const Attachments found = FindAttachments(files);
        if (!found.Missing.empty()) {
            const bool many = found.Missing.size() > 1;
            const std::string named = (many ? "attachments '" : "attachment '") +
                                      Join(found.Missing, "', '") + (many ? "' are" : "' is");
            if (!MissingFilesOptional(task)) {
                // A mail that names a file it does not carry is a failed delivery, and it is
                // better not sent than read as complete.
                Fail(run,
                     "Error: the mail to " + recipients + " was not sent: the " + named +
                         " missing (MissingFilesOptional=1 would send it without)",
                     failure);
                return;
            }
            UxSaveLog(run,
                      "Mail to " + recipients + ": the missing " + named +
                          " left out (MissingFilesOptional)",
                      __FILE__, __LINE__);
        }
        files = Join(found.Files, ";");
        for (const std::string& path : found.Files) {
            // One part per path, not a joined list: a comma in a file name is not a separator.
            CZelSMTPBodyPart part;
            part.SetFilename(path);
            message.AddBodyPart(part);
        }
    }

    // Connected only once the message is whole: a step that fails before has sent nothing.
    const orvik::MailSession session = orvik::ResolveMailSession(run, task, server);
    CZelSMTPConnection connection;
    connection.SetTexts(&run.Language());
    connection.SetLog(
        [&run](const std::string& line) { UxSaveLog(run, line, __FILE__, __LINE__); });
    orvik::ApplyMailSession(session, connection);
    connection.Connect(server, CZelSMTPConnection::kDefaultPort);
    if (connection.IsEncrypted() && !session.Tls.Verify) {
        orvik::LogUncheckedCertificate(run, "mail", server, "MailVerify",
                                       connection.GetTlsVerification());
    }

    run.Front().SetPaneText(0, ("E-Mail Sending mail to: " + recipients).c_str());
    connection.SendMessage(message);
    run.Front().SetPaneText(0, "");
    UxSaveLog(run, "Zel Sended Mail " + subject + " <" + files + "> to " + recipients, __FILE__,
              __LINE__);
    // A single file made for this mail (the page, a "file = " content) is not kept; any other
    // file named here is the user's and stays, however it was named.
    if (!chosen && !files.empty() && files.find(';') == std::string::npos &&
        IsFileMadeHere(files, run)) {
        std::error_code error;
        std::filesystem::remove(files, error);
    }
    // The server has taken the message. A farewell it does not answer changes nothing about
    // that, and failing the step would have the run retried and the mail sent twice.
    try {
        connection.Disconnect();
    } catch (const std::runtime_error& error) {  // a reply, or the socket under it
        UxSaveLog(run,
                  std::string("Warning: the mail was sent, but the server did not close the "
                              "session properly: ") +
                      error.what(),
                  __FILE__, __LINE__);
    }
}

// The page file read back as the program's text: it was written in windows-1251 or, when the
// page needed more, in UTF-8 that it declares.
std::string PageTextOfFile(const std::string& bytes) {
    const std::string declared = CHtmlDocument(bytes).Charset();
    if (orvik::EqualsIgnoringAsciiCase(declared, "windows-1251") ||
        orvik::EqualsIgnoringAsciiCase(declared, "cp1251")) {
        return orvik::Cp1251ToUtf8(bytes);
    }
    return orvik::DecodeLegacyText(bytes);
}

// `content` is the page to upload; when it is empty, `files` names what stands in its place:
// the page file an earlier export left, or the file(s) a "file = " content named.
void UploadFiles(orvik::Run& run, const COvInfoAct& task, const std::string& server,
                 std::string content, const std::string& files) {
    const std::string& htmlFolder = run.Registries().HtmlFolder;
    const std::string rawFiles = task.Get("Files");
    std::vector<std::string> local;
    if (!rawFiles.empty() && rawFiles != "*.*") {
        size_t start = 0;
        for (size_t end; start <= rawFiles.size(); start = end + 1) {
            end = rawFiles.find(';', start);
            if (end == std::string::npos) end = rawFiles.size();
            if (end > start) local.push_back(rawFiles.substr(start, end - start));
        }
        // Each relative entry lies in the work folder, as the first always did.
        for (std::string& entry : local)
            if (!HasDrive(orvik::ToNativePath(entry))) entry = htmlFolder + entry;
    } else if (!content.empty() || files.empty() || files == PageFilePath(run)) {
        if (content.empty()) {
            // The page went to its file and left the report ("HTMFile"): that file is the page.
            // Rewriting an empty text in its place would upload a blank page over the real one.
            std::string bytes;
            errno = 0;
            if (!orvik::ReadWholeFile(PageFilePath(run), bytes)) {
                const std::string reason = errno ? std::strerror(errno) : "cannot be read";
                Report(run,
                       "Error FTP UpLoad of file '" + PageFilePath(run) + "'\n'" + reason + "'",
                       true);
                return;
            }
            content = PageTextOfFile(bytes);
        }
        PictureResolver pictures(run, htmlFolder, nullptr);
        const std::string page = RewritePictures(content, pictures, "");
        UxWriteFile(run, PageFilePath(run), page);
        local.push_back(PageFilePath(run));
        for (const std::string& picture : pictures.Paths()) local.push_back(picture);
    } else {
        // "file = " named the file to send in place of the page: that file is what goes up.
        local = SplitList(files);
    }

    const orvik::FtpSession session = orvik::ResolveFtpSession(run, task, server);
    if (orvik::SendsPasswordInClear(session)) {
        // Stored reports have always logged in this way, so it is said, not refused.
        UxSaveLog(run,
                  "Warning: the password of FTP user " + session.User + " goes to " + server +
                      " unencrypted; FtpSecurity=explicit, implicit or sftp would protect it",
                  __FILE__, __LINE__);
    }
    bool certificateNoted = false;
    std::vector<std::string> done;
    for (const std::string& entry : local) {
        const std::string file = orvik::ToNativePath(entry);
        UxFTPTransferer transfer;
        transfer.Texts = &run.Language();
        transfer.Download = false;
        orvik::ApplyFtpSession(session, transfer);
        transfer.LocalFile = file;
        transfer.RemoteFile = orvik::FileNameOf(file);
        const std::string tail =
            orvik::ToUpperAscii(file.size() >= 4 ? file.substr(file.size() - 4) : file);
        transfer.Binary = tail == ".JPG" || tail == ".PNG" || tail == ".GIF";
        run.Front().SetPaneText(
            0,
            ("FTP Uploading file: " + file + "  TO remote file: " + transfer.RemoteFile).c_str());
        const bool uploaded = transfer.Upload();
        if (!session.Tls.Verify && uploaded && !transfer.TlsVerification.empty() &&
            !certificateNoted) {
            certificateNoted = true;
            orvik::LogUncheckedCertificate(run, "FTP", transfer.Endpoint(), "FtpVerify",
                                           transfer.TlsVerification);
        }
        if (uploaded) {
            done.push_back(file);
            continue;
        }
        Report(run, "Error FTP UpLoad of file '" + file + "'\n'" + transfer.ErrorText + "'", true);
        // Each further file would meet the same refused login, certificate or host key, and
        // repeated failed logins can lock the account.
        if (transfer.LastMessageId == FTP_CONNECT_FAILED) break;
    }
    run.Front().SetPaneText(0, "");
    if (done.empty()) return;
    std::string list = Join(done, ";");
    if (list.size() > 1000) list = list.substr(0, 1000) + " ...";
    Report(run, "FTP UpLoad to '" + server + "' files:'" + list + "'", false);
}

// What a delivery sends: the page (or the step's own content) and the files to go with it.
struct Deliverable {
    std::string Content;
    std::string Files;
};

// Reads what `step` delivers, writing the page file it names where the page is held in memory.
// False when it cannot (reported; `failure` receives why when given).
bool PrepareDelivery(orvik::Run& run, COvInfoAct& step, Deliverable& out, std::string* failure) {
    std::string content = run.Page.Text;
    if (run.Page.TextInFile) {
        // The export wrote the page straight to its file; that file is the page text.
        std::string bytes;
        errno = 0;
        if (!orvik::ReadWholeFile(PageFilePath(run), bytes)) {
            const std::string reason = errno ? std::strerror(errno) : "cannot be read";
            Fail(run, "Error: the page '" + PageFilePath(run) + "' cannot be read: " + reason,
                 failure);
            return false;
        }
        content = PageTextOfFile(bytes);
    }
    std::string files;
    try {
        // Content that names a file ("file = ...") takes file names; any other is markup.
        if (const std::string own = step.Get("Cont"); !own.empty()) {
            content = DSetParam(run, own,
                                own.starts_with("file = ") ? SubstitutionTarget::FileName
                                                           : SubstitutionTarget::Markup);
        }
        if (const std::string own = step.Get("Files"); !own.empty())
            files = DSetParam(run, own, SubstitutionTarget::FileName);
    } catch (const SubstitutionError& error) {
        Fail(run, std::string("Error: ") + error.what(), failure);
        return false;
    }
    if (content.compare(0, 7, "file = ") == 0) {
        files = content.substr(7);
        content.clear();
    } else if (!run.Page.Text.empty() || run.Page.TextInFile) {
        UxWriteFile(run, PageFilePath(run), content);
    } else {
        files = PageFilePath(run);
    }
    if (step.Get("BodyPictures") == "1" && !content.empty() &&
        !orvik::ChartsAsPictures(run, step, content, failure))
        return false;
    if (step.Get("AttachPdf") == "1") {
        const std::string pdf = orvik::PageAsPdf(run, step, failure);
        if (pdf.empty()) return false;
        files += (files.empty() ? "" : ";") + pdf;
    }
    files = orvik::ToNativePath(files);
    // Every relative entry of the list lies in the work folder, not only the first: the others
    // would otherwise be looked for wherever the scheduler happened to start the program.
    if (!files.empty()) {
        std::string resolved;
        size_t start = 0;
        while (start <= files.size()) {
            const size_t end = std::min(files.find(';', start), files.size());
            std::string entry = files.substr(start, end - start);
            const std::string_view bare = orvik::Trim(entry);
            if (!bare.empty() && !HasDrive(std::string(bare)))
                entry = run.Registries().HtmlFolder + std::string(bare);
            resolved += (start == 0 ? "" : ";") + entry;
            start = end + 1;
        }
        files = std::move(resolved);
    }
    out = {std::move(content), std::move(files)};
    return true;
}

// The server a delivery of `step` goes to; "" when there is none (reported).
std::string DeliveryServer(orvik::Run& run, const COvInfoAct& step, bool mail,
                           std::string* failure) {
    std::string server = step.Get("Srv");
    // An upload falls back on the FTP setting first: that is what the setting is for.
    if (server.empty() && !mail) server = run.Registries().SettingValue("DefSrvFTP");
    if (server.empty()) server = run.Registries().SettingValue("DefSrvMail");
    if (server.empty()) Fail(run, "Error: SendExport Empty ExportServer !", failure);
    return server;
}

// What `step` delivers and the server it goes to, for a mail (`mail`) or an upload; false when
// either is missing (reported; `failure` receives why when given).
bool ReadyToDeliver(orvik::Run& run, COvInfoAct& step, bool mail, Deliverable& deliverable,
                    std::string& server, std::string* failure) {
    if (!PrepareDelivery(run, step, deliverable, failure)) return false;
    server = DeliveryServer(run, step, mail, failure);
    return !server.empty();
}

}  // namespace

void SendExport(orvik::Run& run, COvInfoAct& step) {
    if (orvik::TaskStep* type = run.Registries().Types.Steps.Find(step.AType.Value);
        type && type->Deliver(run, step))
        return;
    // A step of a type that delivers nothing itself: what it names is made ready and checked
    // as for a delivery, and goes nowhere.
    orvik::WaitCursor busy(run);
    Deliverable deliverable;
    if (PrepareDelivery(run, step, deliverable, nullptr)) DeliveryServer(run, step, false, nullptr);
}

namespace orvik {

void MailStepPage(Run& run, COvInfoAct& step) {
    WaitCursor busy(run);
    Deliverable deliverable;
    std::string server;
    if (ReadyToDeliver(run, step, true, deliverable, server, nullptr))
        SendMail(run, step, server, deliverable.Content, deliverable.Files, nullptr, nullptr);
}

void UploadStepPage(Run& run, COvInfoAct& step) {
    WaitCursor busy(run);
    Deliverable deliverable;
    std::string server;
    if (ReadyToDeliver(run, step, false, deliverable, server, nullptr))
        UploadFiles(run, step, server, deliverable.Content, deliverable.Files);
}

std::string MailPageTo(Run& run, COvInfoAct& step, const std::string& recipients) {
    std::string failure;
    try {
        WaitCursor busy(run);
        Deliverable deliverable;
        if (!PrepareDelivery(run, step, deliverable, &failure)) return failure;
        const std::string server = DeliveryServer(run, step, true, &failure);
        if (server.empty()) return failure;
        SendMail(run, step, server, deliverable.Content, deliverable.Files, &recipients, &failure);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    return failure;
}

}  // namespace orvik
