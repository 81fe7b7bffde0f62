// Another program that holds the history's write lock: opens the database, begins an exclusive
// transaction, says "locked" and keeps it until it is killed (at most two minutes).
#include <sqlite3.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[1], &db) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::printf("failed: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    sleep(120);
    sqlite3_close(db);
    return 0;
}
