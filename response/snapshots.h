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
// The budget holds snapshots and kept versions together. When a write needs room,
// first the snapshots of files seen this run that no longer exist go, then the least
// recently refreshed snapshots (oldest write time first) until it fits; when even
// that cannot make it fit, nothing is removed and the write is refused. Kept versions
// are the user's own content and are never removed to make room.
constexpr std::size_t kRememberedSnapshotPaths = 65536;         // snapshot -> path, this run

// The snapshot path of a file: SnapshotsDir + "\" + a readable tail of the path (its
// last 55 characters, with "\", "/" and ":" made "_") + "~" + the SHA-256 in hex of the
// path's UTF-16LE units + ".snapshot", 120 characters before the suffix at most; the
// path is lower-cased (ASCII letters) for both. Two different paths never share a snapshot; the same file named
// in another letter case keeps one. Empty while SnapshotsDir is not set.
std::wstring SnapshotPathFor(const std::wstring& path);

// How many versions of replaced content a file keeps: each rollback keeps what it
// replaced as the newest, and the oldest beyond this many goes.
constexpr int kKeptVersions = 3;

// Where a rollback keeps the content it replaced: beside the snapshot, ".replaced" for
// the newest, ".replaced.2" and ".replaced.3" for the older ones (version 1 to 3).
std::wstring ReplacedContentPathFor(const std::wstring& snapshot_path, int version = 1);

// Writes a complete copy of the file (1 B to 16 MiB) as its snapshot, through a
// temporary file replaced in one step. The file is read through a verified handle (one
// reached through a link is not copied) and never past the window. What a new snapshot
// or a refresh adds must fit the budget (see below); a refresh that cannot leaves the
// old copy. Content that is already noise is not kept
// (it could never be rolled back to). True when a complete copy was written.
bool TakeSnapshot(const std::wstring& path, const std::wstring& snapshot_path);

// Rolls the file back from its snapshot when it turned into high-entropy data since
// the snapshot was taken, else takes or refreshes the snapshot. System places, the
// snapshot folder and the quarantine folder are left alone. The rollback reads and
// replaces the file through verified handles only: a path that now leads elsewhere (a
// link at it or in a folder on the way) is refused with one line and nothing written.
// A file whose current content is on the safe list is never rolled back: its snapshot
// is dropped instead. What a rollback replaces is kept as the newest of the file's kept
// versions. One file is handled by one thread at a time. Silent except for the
// rollback lines and the once-per-run notice that the budget is reached.
void SnapshotOrRestore(const std::wstring& path);

// Removes the file's snapshot (not its kept versions): called for a file judged
// malicious, so that no copy of it stays outside the quarantine.
void DropSnapshotOf(const std::wstring& path);

// Removes the snapshots and replaced copies whose names lack the digest form (an older
// naming that let two paths share one; they are only caches) and the temporary files
// a run that ended part-way through a write left behind. Called once at start.
void DropOldSnapshotNames();

// Forgets the folder's measured size and the budget notice (tests only).
void ResetSnapshotsForTest();
