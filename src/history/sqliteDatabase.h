// The small part of SQLite the usage history needs: one connection and its prepared statements,
// each owned by an object, with every failure raised as TsqliteError carrying SQLite's code.
// SQLite's library is loaded while a connection is open and unloaded once the last one closes,
// so a program that writes its history once a poll keeps none of it between polls.
#pragma once

#include "lib/runtime/Error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vantle {

class TsqliteError : public Error {
public:
    TsqliteError(const std::string& message, int code)
        : Error(message)
        , code_(code) {}
    // SQLite's primary result code (SQLITE_BUSY, SQLITE_CORRUPT...).
    int code() const { return code_; }
    // The file is not a database or its content is broken.
    bool isDamage() const;
    // Another connection holds a lock that did not go in time.
    bool isLock() const;

private:
    int code_;
};

class TsqliteStatement;
struct TsqliteLibrary;

class TsqliteDatabase {
public:
    enum class Access { readOnly, readWrite };

    // Opens (with readWrite, creates) the file; waits up to busyMilliseconds for another
    // connection's lock on every step. Raises TsqliteError with SQLITE_CANTOPEN when SQLite's
    // library cannot be loaded.
    TsqliteDatabase(const std::string& path, Access access, int busyMilliseconds);
    ~TsqliteDatabase();
    TsqliteDatabase(const TsqliteDatabase&) = delete;
    TsqliteDatabase& operator=(const TsqliteDatabase&) = delete;

    // Runs statements that return no rows.
    void exec(std::string_view sql);
    TsqliteStatement prepare(std::string_view sql);
    std::int64_t lastInsertRowid() const;

    // Raises TsqliteError for code unless it is a success code; what names the step.
    void check(int code, std::string_view what) const;

    sqlite3* handle() const { return db_.get(); }
    const TsqliteLibrary& library() const { return *library_; }

private:
    struct Closer {
        const TsqliteLibrary* library;
        void operator()(sqlite3* db) const noexcept;
    };
    // Declared first: unloaded after the connection is closed.
    std::shared_ptr<const TsqliteLibrary> library_;
    std::unique_ptr<sqlite3, Closer> db_;
    std::string path_;
};

class TsqliteStatement {
public:
    TsqliteStatement(TsqliteStatement&&) noexcept = default;
    TsqliteStatement& operator=(TsqliteStatement&&) noexcept = default;

    // Parameters count from 1.
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    void bind(int index, std::string_view text);
    // True while a row is there to read.
    bool step();
    // Ready for another run with new bindings.
    void reset();

    std::int64_t int64(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    // Into a string that keeps its room.
    void text(int column, std::string& into) const;
    bool isNull(int column) const;

private:
    friend class TsqliteDatabase;
    TsqliteStatement(const TsqliteDatabase& db, sqlite3_stmt* statement);
    const TsqliteLibrary& lib() const { return db_->library(); }

    struct Finalizer {
        const TsqliteLibrary* library;
        void operator()(sqlite3_stmt* statement) const noexcept;
    };
    const TsqliteDatabase* db_;
    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

// Ends a transaction opened in its constructor: rolled back unless commit ran.
class TsqliteTransaction {
public:
    explicit TsqliteTransaction(TsqliteDatabase& db);
    ~TsqliteTransaction();
    TsqliteTransaction(const TsqliteTransaction&) = delete;
    TsqliteTransaction& operator=(const TsqliteTransaction&) = delete;

    void commit();

private:
    TsqliteDatabase& db_;
    bool open_ = true;
};

} // namespace vantle
