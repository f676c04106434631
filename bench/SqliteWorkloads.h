// The same workloads on SQLite: one transaction per load, one prepared statement.
#pragma once

#include <cstdint>
#include <string>

#include "bench/Measure.h"

namespace cairn::bench {

// cacheKiB 0 keeps SQLite's default page cache; otherwise PRAGMA cache_size = -cacheKiB.
void SqliteContacts(const std::string& path, int64_t cacheKiB, int64_t rows, TMeasure& measure);
void SqliteSmall(const std::string& path, int64_t cacheKiB, int64_t rows, TMeasure& measure);
// SELECT name, value, stamp in rowid order or ORDER BY name (the index), summing as Cairn does.
void SqliteScan(const std::string& path, int64_t cacheKiB, bool byName, TMeasure& measure);

// The CREATE TABLE and CREATE INDEX statements of the Contacts table: the same 130 columns and
// 13 indexes as the generator's schema.
std::string SqliteContactsSchema(const std::string& tableName);
// The column names of the primary key and the twelve indexed fields, in index order.
std::string SqliteContactsLoadColumns();

}  // namespace cairn::bench
