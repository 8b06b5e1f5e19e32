// vantorhost journal: where the driver's journal goes, and its entries.
//
//   vantorhost journal [--days N]          the last N days' entries (1: today),
//                                          each sent message with its delivery
//   vantorhost journal --undelivered MIN   the messages with no final report on
//                                          every part MIN minutes after sending
//   vantorhost journal --folder PATH       journal into PATH (administrator)
//   vantorhost journal --off | --on        no journal | the default folder again
//   vantorhost journal --keep-days N --keep-mb N   the bounds (0: the default)
#pragma once

#include <string>
#include <vector>

namespace vhost {

// Runs the command with the arguments after "journal"; returns the exit
// status: 0 done, 1 the registry could not be written or read, 2 bad usage.
int RunJournal(const std::vector<std::string>& args);

}  // namespace vhost
