// The handlers of tandravole-remote's commands (the command table in CliCommands.cpp names
// them): each runs its command on a logged-in session and returns the exit code.
#pragma once

#include "client/CliSession.h"

#include <cstdint>

namespace remote {

// Minutes of a sleep timer: its seconds must fit in 32 bits.
constexpr uint64_t kMaxTimerMinutes = 71582;

int runStatus(CliSession& s);
int runPause(CliSession& s);
int runVolume(CliSession& s);
int runSeek(CliSession& s);
int runShuffle(CliSession& s);
int runNowPlaying(CliSession& s);
int runPlaylists(CliSession& s);
// A category list (artists, albums, genres, composers) by its query sub-request.
int runList(CliSession& s, uint8_t sub, const char* what);
int runBrowse(CliSession& s);
int runSearch(CliSession& s);
int runCover(CliSession& s);
int runEq(CliSession& s);
int runSleepTimer(CliSession& s);
int runWatch(CliSession& s);

} // namespace remote
