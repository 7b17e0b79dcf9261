#pragma once
// Snapshots and rollback: a byte copy of every small file the scans look at, put
// back when a file that was ordinary data turns into high-entropy noise (encryption
// in place).
#include <cstdint>
#include <string>

constexpr uint64_t kSnapshotMaxFileBytes = 16777216;          // 16 MiB, inclusive
constexpr std::size_t kSnapshotNameChars = 120;
constexpr double kRollbackEntropy = 7.5;
constexpr uint64_t kSnapshotFolderBudgetBytes = 2ull << 30;   // 2 GiB for the whole folder
constexpr uint64_t kSnapshotMinFreePercent = 10;               // of the volume, kept free

// The snapshot path of a file: SnapshotsDir + "\" + the path with "\", "/" and ":"
// made "_" + ".snapshot". A name longer than 120 characters keeps its last
// characters and a digest of the whole path, so two long paths never share one.
// Empty while SnapshotsDir is not set.
std::wstring SnapshotPathFor(const std::wstring& path);

// Where a rollback keeps the content it replaced: beside the snapshot, ".replaced".
std::wstring ReplacedContentPathFor(const std::wstring& snapshot_path);

// Writes a complete copy of the file (1 B to 16 MiB) as its snapshot, through a
// temporary file replaced in one step. A new snapshot must fit the folder's budget;
// refreshing an existing one is always allowed. Content that is already noise is not
// kept (it could never be rolled back to). True when a complete copy was written.
bool TakeSnapshot(const std::wstring& path, const std::wstring& snapshot_path);

// Rolls the file back from its snapshot when it turned into high-entropy data since
// the snapshot was taken, else takes or refreshes the snapshot. System places, the
// snapshot folder and the quarantine folder are left alone. Silent except for the
// rollback line and the once-per-run notice that the budget is reached.
void SnapshotOrRestore(const std::wstring& path);

// Forgets the folder's measured size and the budget notice (tests only).
void ResetSnapshotsForTest();
