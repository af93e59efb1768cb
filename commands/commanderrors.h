#pragma once

// Error numbers of the commands' own, beside those every command shares (3 file and XML, 7 backup,
// 8 canceled, 11 add-on unknown, 12 nothing updated, 13 interrupted install, 16 no connection). Users see
// them ("error 20: ...") and scripts test them: never renumber.
namespace CommandError
{
// Another command, of this or of another copy of the program, works on the add-on's location.
constexpr int LocationBusy = 20;
// The lock of the location can't be made (a data folder that can't be written): nothing is done unguarded.
constexpr int LocationLockFailed = 21;
// The download of a data package failed; the message says why in words, not in the engine's codes.
constexpr int DownloadFailed = 22;
// A backup that must be made (an update with automatic backup on) could not be: nothing was installed.
constexpr int BackupFailed = 23;
} // namespace CommandError
