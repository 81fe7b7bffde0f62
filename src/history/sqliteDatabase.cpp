// SQLite's C interface behind owning objects; every result code is checked in one place.
#include "history/sqliteDatabase.h"

#include <sqlite3.h>

#include <dlfcn.h>

#include <mutex>

// The functions of SQLite's library the history calls, each reached through TsqliteLibrary.
#define VANTLE_SQLITE_FUNCTIONS(X)                                                                 \
    X(open_v2)                                                                                     \
    X(close_v2)                                                                                    \
    X(extended_result_codes)                                                                       \
    X(busy_timeout)                                                                                \
    X(errstr)                                                                                      \
    X(errcode)                                                                                     \
    X(errmsg)                                                                                      \
    X(exec)                                                                                        \
    X(prepare_v2)                                                                                  \
    X(last_insert_rowid)                                                                           \
    X(finalize)                                                                                    \
    X(bind_int64)                                                                                  \
    X(bind_double)                                                                                 \
    X(bind_text)                                                                                   \
    X(step)                                                                                        \
    X(reset)                                                                                       \
    X(clear_bindings)                                                                              \
    X(column_int64)                                                                                \
    X(column_double)                                                                               \
    X(column_type)                                                                                 \
    X(column_text)                                                                                 \
    X(column_bytes)                                                                                \
    X(shutdown)

namespace vantle {

// Debian's run-time package of SQLite names it so.
constexpr char SqliteLibraryName[] = "libsqlite3.so.0";

struct TsqliteLibrary {
    void* handle = nullptr;
#define VANTLE_SQLITE_FIELD(name) decltype(&sqlite3_##name) name = nullptr;
    VANTLE_SQLITE_FUNCTIONS(VANTLE_SQLITE_FIELD)
#undef VANTLE_SQLITE_FIELD
};

namespace {

std::mutex libraryMutex;
std::weak_ptr<const TsqliteLibrary> loadedLibrary;

std::shared_ptr<const TsqliteLibrary> loadLibrary() {
    const std::lock_guard lock(libraryMutex);
    if (std::shared_ptr<const TsqliteLibrary> loaded = loadedLibrary.lock())
        return loaded;
    void* handle = dlopen(SqliteLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        throw TsqliteError(std::string("The usage history needs SQLite's library ") +
                               SqliteLibraryName + ": " + dlerror(),
                           SQLITE_CANTOPEN);
    auto library = std::make_unique<TsqliteLibrary>();
    library->handle = handle;
    const char* missing = nullptr;
#define VANTLE_SQLITE_RESOLVE(name)                                                                \
    library->name = reinterpret_cast<decltype(&sqlite3_##name)>(dlsym(handle, "sqlite3_" #name));  \
    if (library->name == nullptr && missing == nullptr)                                            \
        missing = "sqlite3_" #name;
    VANTLE_SQLITE_FUNCTIONS(VANTLE_SQLITE_RESOLVE)
#undef VANTLE_SQLITE_RESOLVE
    if (missing != nullptr) {
        dlclose(handle);
        throw TsqliteError(std::string("The usage history needs a newer SQLite: ") +
                               SqliteLibraryName + " has no " + missing,
                           SQLITE_CANTOPEN);
    }
    // The last connection gone, SQLite's own resources are released and the library unloaded.
    std::shared_ptr<const TsqliteLibrary> shared(library.release(), [](const TsqliteLibrary* l) {
        const std::lock_guard unloading(libraryMutex);
        // Another thread may have loaded it again meanwhile: then it stays in use.
        if (loadedLibrary.expired())
            l->shutdown();
        dlclose(l->handle);
        delete l;
    });
    loadedLibrary = shared;
    return shared;
}

} // namespace

bool TsqliteError::isDamage() const {
    return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB;
}

bool TsqliteError::isLock() const {
    return code_ == SQLITE_BUSY || code_ == SQLITE_LOCKED;
}

void TsqliteDatabase::Closer::operator()(sqlite3* db) const noexcept {
    library->close_v2(db);
}

TsqliteDatabase::TsqliteDatabase(const std::string& path, Access access, int busyMilliseconds)
    : library_(loadLibrary())
    , db_(nullptr, Closer{library_.get()})
    , path_(path) {
    const int flags = (access == Access::readOnly ? SQLITE_OPEN_READONLY
                                                  : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int code = library_->open_v2(path.c_str(), &db, flags, nullptr);
    db_.reset(db); // closed even when the open failed
    check(code, "open");
    library_->extended_result_codes(db, 0);
    library_->busy_timeout(db, busyMilliseconds);
}

TsqliteDatabase::~TsqliteDatabase() = default;

void TsqliteDatabase::check(int code, std::string_view what) const {
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE)
        return;
    std::string message = "The usage history " + path_ + " could not " + std::string(what) + ": " +
                          library_->errstr(code & 0xff);
    if (db_ != nullptr && library_->errcode(db_.get()) == code) {
        const std::string detail = library_->errmsg(db_.get());
        if (detail != library_->errstr(code & 0xff))
            message += " (" + detail + ")";
    }
    throw TsqliteError(message, code & 0xff);
}

void TsqliteDatabase::exec(std::string_view sql) {
    check(library_->exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, nullptr), "run");
}

TsqliteStatement TsqliteDatabase::prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    check(library_->prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &statement,
                               nullptr),
          "be read");
    return TsqliteStatement(*this, statement);
}

std::int64_t TsqliteDatabase::lastInsertRowid() const {
    return library_->last_insert_rowid(db_.get());
}

void TsqliteStatement::Finalizer::operator()(sqlite3_stmt* statement) const noexcept {
    library->finalize(statement);
}

TsqliteStatement::TsqliteStatement(const TsqliteDatabase& db, sqlite3_stmt* statement)
    : db_(&db)
    , statement_(statement, Finalizer{&db.library()}) {}

void TsqliteStatement::bind(int index, std::int64_t value) {
    db_->check(lib().bind_int64(statement_.get(), index, value), "be written");
}

void TsqliteStatement::bind(int index, double value) {
    db_->check(lib().bind_double(statement_.get(), index, value), "be written");
}

void TsqliteStatement::bind(int index, std::string_view text) {
    db_->check(lib().bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT),
               "be written");
}

bool TsqliteStatement::step() {
    const int code = lib().step(statement_.get());
    db_->check(code, "be used");
    return code == SQLITE_ROW;
}

void TsqliteStatement::reset() {
    lib().reset(statement_.get());
    lib().clear_bindings(statement_.get());
}

std::int64_t TsqliteStatement::int64(int column) const {
    return lib().column_int64(statement_.get(), column);
}

double TsqliteStatement::real(int column) const {
    return lib().column_double(statement_.get(), column);
}

bool TsqliteStatement::isNull(int column) const {
    return lib().column_type(statement_.get(), column) == SQLITE_NULL;
}

std::string TsqliteStatement::text(int column) const {
    std::string result;
    text(column, result);
    return result;
}

void TsqliteStatement::text(int column, std::string& into) const {
    const auto* bytes = lib().column_text(statement_.get(), column);
    if (bytes == nullptr) {
        into.clear();
        return;
    }
    into.assign(reinterpret_cast<const char*>(bytes),
                static_cast<std::size_t>(lib().column_bytes(statement_.get(), column)));
}

TsqliteTransaction::TsqliteTransaction(TsqliteDatabase& db)
    : db_(db) {
    // Immediate: a writer's lock is taken at the start, so a busy database shows here and not
    // half-way through.
    db_.exec("BEGIN IMMEDIATE");
}

TsqliteTransaction::~TsqliteTransaction() {
    if (open_)
        db_.library().exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TsqliteTransaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

} // namespace vantle
