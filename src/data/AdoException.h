// The exception the database access layer raises: an error code in the numbering report authors
// know from Windows database errors, the provider's message text and the component that raised it.
// Callers catch it and report it with UxError; nothing in the access layer shows it by itself.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

// The codes the access layer raises. Provider failures carry the generic failure code; the
// others mark misuse of the wrappers that a caller may want to tell apart.
namespace AdoError {
constexpr long Failure = static_cast<long>(0x80004005);              // provider error
constexpr long InvalidArgument = static_cast<long>(0x800A0BB9);      // out of range or wrong type
constexpr long NoCurrentRecord = static_cast<long>(0x800A0BCD);      // BOF or EOF
constexpr long FeatureNotAvailable = static_cast<long>(0x800A0CB3);  // provider cannot do it
constexpr long ItemNotFound = static_cast<long>(0x800A0CC1);         // no such field
constexpr long ObjectClosed = static_cast<long>(0x800A0E78);         // recordset is closed
constexpr long ConnectionClosed = static_cast<long>(0x800A0E7D);     // connection not open
constexpr long ProviderNotFound = static_cast<long>(0x800A0E7A);     // no provider of that name
}  // namespace AdoError

class CADOException : public std::runtime_error {
  public:
    CADOException(long code, const std::string& message, std::string source = {})
        : std::runtime_error(message), code_(code), source_(std::move(source)) {}

    // The error code (0 when the provider gave none).
    long GetError() const { return code_; }
    // The readable message, as shown to the user and written to the log.
    std::string GetErrorMessage() const { return what(); }
    // The component that raised the error ("SQLite", "ODBC", ...); may be empty.
    const std::string& GetSource() const { return source_; }

  private:
    long code_;
    std::string source_;
};

// The fixed meaning of an access-layer error code ("Unspecified error" for codes it does not know).
inline const char* AdoErrorMeaning(long code) {
    switch (code) {
        case AdoError::InvalidArgument:
            return "Arguments are of the wrong type, are out of acceptable range, or are in "
                   "conflict with one another.";
        case AdoError::NoCurrentRecord:
            return "Either BOF or EOF is True, or the current record has been deleted. Requested "
                   "operation requires a current record.";
        case AdoError::FeatureNotAvailable:
            return "Object or provider is not capable of performing requested operation.";
        case AdoError::ItemNotFound:
            return "Item cannot be found in the collection corresponding to the requested name or "
                   "ordinal.";
        case AdoError::ObjectClosed:
            return "Operation is not allowed when the object is closed.";
        case AdoError::ConnectionClosed:
            return "The connection cannot be used to perform this operation. It is either closed "
                   "or invalid in this context.";
        case AdoError::ProviderNotFound:
            return "Provider cannot be found. It may not be properly installed.";
        default:
            return "Unspecified error";
    }
}

// The error text a result wrapper keeps for its last failure ("Query = ...\n<wrapper> Error\n\tCode
// = ..."), as the recordset and the cell set both report it.
inline std::string AdoErrorText(const char* wrapper, const std::string& query, long code,
                                const std::string& description, const std::string& source) {
    char header[16];
    std::snprintf(header, sizeof header, "%08lx", static_cast<unsigned long>(code) & 0xFFFFFFFFul);
    return "Query = " + query + "\n" + wrapper + " Error\n\tCode = " + header +
           "\n\tCode meaning = " + AdoErrorMeaning(code) + "\n\tSource = " + source +
           "\n\tDescription = " + description + "\n";
}
