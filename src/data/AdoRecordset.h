// A result set with a client-side static cursor: opening runs the command and fetches every row
// into memory at once, so the record count is exact from the start, any record can be reached by
// number in constant time, and the grid, formulas and page can read the same result as often as
// they like without going back to the database.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/RowStore.h"
#include "data/Variant.h"

class CADODatabase;

class CADORecordset {
  public:
    // How Open reads its text.
    enum cadoOpenEnum { openUnknown = 0, openQuery = 1, openTable = 2, openStoredProc = 3 };
    // Schema kinds OpenSchema serves (numbered as report authors know them).
    enum cadoSchemaEnum { schemaProviderSpecific = -1, schemaColumns = 4, schemaTables = 20 };

    // A closed recordset on `database` (not owned; it must outlive the recordset).
    explicit CADORecordset(CADODatabase* database);
    ~CADORecordset();
    CADORecordset(const CADORecordset&) = delete;
    CADORecordset& operator=(const CADORecordset&) = delete;

    // Closes any open result, remembers `text` (an empty text runs the remembered one again), trims
    // it on the left and runs it: as a command (openUnknown, openQuery), as a table name
    // (openTable) or as a stored procedure name (openStoredProc). A command that returns no rows
    // (DDL, INSERT) succeeds and leaves the recordset closed. An unknown option shows "Unknown
    // parameter. %d" and returns false. Throws CADOException when the database refuses.
    bool Open(const std::string& text = "", int option = openUnknown);
    // Replaces the result by a schema rowset: schemaColumns (fields 2 and 3: table and column
    // names) or schemaTables (field 2: table name), optionally for one `table`. A provider-specific
    // `schemaId` makes the kind schemaProviderSpecific, and `table` its restriction (an OLAP
    // connection's MDSCHEMA_* rowsets take a cube name). Throws CADOException (FeatureNotAvailable
    // for kinds and schema ids the provider does not have).
    bool OpenSchema(int kind, const std::string& table = "", const std::string& schemaId = "");
    // Runs the last command or schema request again; throws as Open does.
    bool Requery();
    // True when the database is open and a result with columns is held.
    bool IsOpen() const;
    // Drops the result (nothing happens when it is closed already).
    void Close();

    // The number of records (exact: the whole result is fetched). Throws ObjectClosed.
    long GetRecordCount() const;
    // The number of fields. Throws ObjectClosed.
    int GetFieldCount() const;
    // The name of field `index` (0-based). Throws ObjectClosed or ItemNotFound.
    std::string GetFieldName(int index) const;
    // The type field `index` usually carries (Empty when the database does not say).
    VariantType GetFieldType(int index) const;

    // Makes record `position` (counted from 1) the current one. Throws InvalidArgument when there
    // is no such record.
    void SetAbsolutePosition(long position);
    // The current record's number (from 1); 0 at BOF or EOF.
    long GetAbsolutePosition() const;
    // Copies field `index` of the current record into `value`. Throws ObjectClosed, ItemNotFound
    // or NoCurrentRecord.
    // The first `values.size()` fields of the current record at once (fields beyond the
    // record's read as empty). Throws as GetFieldValue does.
    void GetRowValues(std::vector<Variant>& values) const;
    bool GetFieldValue(int index, Variant& value) const;
    // The same, for the first field called `name` (case-insensitive).
    bool GetFieldValue(const std::string& name, Variant& value) const;

    // True after the last record (and for an empty or closed result).
    bool IsEOF() const;
    // True before the first record (and for an empty or closed result).
    bool IsBOF() const;
    // Cursor moves; MoveNext at EOF and MovePrevious at BOF throw NoCurrentRecord.
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();

    // The text last opened.
    const std::string& GetQuery() const { return query_; }
    // The full description of the last failure ("Query = ...\nCADORecordset Error ...").
    const std::string& GetLastErrorString() const { return lastError_; }
    // Bytes the fetched rows take.
    size_t MemoryBytes() const { return rows_ ? rows_->MemoryBytes() : 0; }

  private:
    void Run(int option, int schemaKind, const std::string& table, const std::string& schemaId);
    [[noreturn]] void Raise(long code, const std::string& description,
                            const std::string& source = {}) const;
    void RequireOpen() const;
    void RequireField(int index) const;

    CADODatabase* database_;
    std::unique_ptr<RowStore> rows_;
    std::string query_;
    int lastOption_ = openUnknown;
    int lastSchemaKind_ = 0;  // 0: the last request was a command
    std::string lastSchemaTable_;
    std::string lastSchemaId_;
    long position_ = 0;  // 0-based; -1 is BOF, the record count is EOF
    mutable std::string lastError_;
};
