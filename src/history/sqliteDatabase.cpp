// SQLite's C interface behind owning objects; every result code is checked in one place.
#include "history/sqliteDatabase.h"

#include <sqlite3.h>

namespace vantle {

bool TsqliteError::isDamage() const {
    return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB;
}

bool TsqliteError::isLock() const {
    return code_ == SQLITE_BUSY || code_ == SQLITE_LOCKED;
}

void TsqliteDatabase::Closer::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db);
}

TsqliteDatabase::TsqliteDatabase(const std::string& path, Access access, int busyMilliseconds)
    : path_(path) {
    const int flags = (access == Access::readOnly ? SQLITE_OPEN_READONLY
                                                  : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    db_.reset(db); // closed even when the open failed
    check(code, "open");
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_timeout(db, busyMilliseconds);
}

TsqliteDatabase::~TsqliteDatabase() = default;

void TsqliteDatabase::check(int code, std::string_view what) const {
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE)
        return;
    std::string message = "The usage history " + path_ + " could not " + std::string(what) + ": " +
                          sqlite3_errstr(code & 0xff);
    if (db_ != nullptr && sqlite3_errcode(db_.get()) == code) {
        const std::string detail = sqlite3_errmsg(db_.get());
        if (detail != sqlite3_errstr(code & 0xff))
            message += " (" + detail + ")";
    }
    throw TsqliteError(message, code & 0xff);
}

void TsqliteDatabase::exec(std::string_view sql) {
    check(sqlite3_exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, nullptr), "run");
}

TsqliteStatement TsqliteDatabase::prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    check(sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &statement,
                             nullptr),
          "be read");
    return TsqliteStatement(*this, statement);
}

std::int64_t TsqliteDatabase::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_.get());
}

void TsqliteStatement::Finalizer::operator()(sqlite3_stmt* statement) const noexcept {
    sqlite3_finalize(statement);
}

TsqliteStatement::TsqliteStatement(const TsqliteDatabase& db, sqlite3_stmt* statement)
    : db_(&db)
    , statement_(statement) {}

void TsqliteStatement::bind(int index, std::int64_t value) {
    db_->check(sqlite3_bind_int64(statement_.get(), index, value), "be written");
}

void TsqliteStatement::bind(int index, double value) {
    db_->check(sqlite3_bind_double(statement_.get(), index, value), "be written");
}

void TsqliteStatement::bind(int index, std::string_view text) {
    db_->check(sqlite3_bind_text(statement_.get(), index, text.data(),
                                 static_cast<int>(text.size()), SQLITE_TRANSIENT),
               "be written");
}

bool TsqliteStatement::step() {
    const int code = sqlite3_step(statement_.get());
    db_->check(code, "be used");
    return code == SQLITE_ROW;
}

void TsqliteStatement::reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

std::int64_t TsqliteStatement::int64(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

double TsqliteStatement::real(int column) const {
    return sqlite3_column_double(statement_.get(), column);
}

bool TsqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::string TsqliteStatement::text(int column) const {
    std::string result;
    text(column, result);
    return result;
}

void TsqliteStatement::text(int column, std::string& into) const {
    const auto* bytes = sqlite3_column_text(statement_.get(), column);
    if (bytes == nullptr) {
        into.clear();
        return;
    }
    into.assign(reinterpret_cast<const char*>(bytes),
                static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

TsqliteTransaction::TsqliteTransaction(TsqliteDatabase& db)
    : db_(db) {
    // Immediate: a writer's lock is taken at the start, so a busy database shows here and not
    // half-way through.
    db_.exec("BEGIN IMMEDIATE");
}

TsqliteTransaction::~TsqliteTransaction() {
    if (open_)
        sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TsqliteTransaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

} // namespace vantle
