#pragma once
// PostgreSQL for the benchmarks: QV_BENCH_PG ("postgresql://…") names a database to use as it is;
// without it a private cluster on loopback is started on first use, with a fresh database in it,
// and stopped when the process ends. That cluster is durable (fsync, synchronous_commit and
// full_page_writes on), unlike the tests' one, so commits cost what they cost on a server.
#include <string>

namespace qvbench {

// The database's address; the process ends with a message when no server can be had.
const std::string& PgUrl();

}  // namespace qvbench
