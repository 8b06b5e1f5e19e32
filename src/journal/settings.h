// Where the journal goes and how much of it is kept: the names and defaults
// the driver and vantorhost share, and the driver's reading of them.
//
// HKEY_LOCAL_MACHINE\SOFTWARE\Vantor (a 32-bit process on 64-bit Windows
// sees it under WOW6432Node, as both the driver and vantorhost are):
//   Journal      REG_SZ     absent or empty: the default folder; "off": no
//                           journal; anything else: the folder to write in
//   JournalDays  REG_DWORD  day files older than this many days are removed (90)
//   JournalMB    REG_DWORD  the oldest files are removed while all exceed this (20)
//   JournalDayMB REG_DWORD  a day's file takes no line beyond this (4; at most
//                           JournalMB); the lines of the rest of the day are counted
//   DeliveryReports REG_DWORD  0: messages ask for no status report; 1 or
//                           absent (the default): every message asks for one
//                           and the reports are journaled
#pragma once

#include <cstdint>

#include "os/os.h"

namespace vantor::journal {

inline constexpr char kRegistryKey[] = "SOFTWARE\\Vantor";
inline constexpr char kFolderValue[] = "Journal";
inline constexpr char kDaysValue[] = "JournalDays";
inline constexpr char kMegabytesValue[] = "JournalMB";
inline constexpr char kDayMegabytesValue[] = "JournalDayMB";
inline constexpr char kDeliveryReportsValue[] = "DeliveryReports";
inline constexpr char kOffWord[] = "off";
inline constexpr std::uint32_t kDefaultDays = 90;
inline constexpr std::uint32_t kDefaultMegabytes = 20;
// A day of normal traffic is a few hundred kilobytes; a sender who makes the
// driver journal the same flood all day fills no more than this.
inline constexpr std::uint32_t kDefaultDayMegabytes = 4;
// Below the common application data folder (%ProgramData%).
inline constexpr char kDefaultSubfolder[] = "Vantor\\journal";
// One file per local day: journal-YYYY-MM-DD.txt.
inline constexpr char kFilePrefix[] = "journal-";
inline constexpr char kFileSuffix[] = ".txt";

struct Settings {
    bool on = true;
    char folder[os::kMaxPath] = {};  // without a trailing backslash
    std::uint32_t days = kDefaultDays;
    std::uint32_t megabytes = kDefaultMegabytes;
    std::uint32_t dayMegabytes = kDefaultDayMegabytes;
    bool chosen = false;  // the folder is the registry's, not the default
};

// The settings as the registry has them now. A folder that cannot be named
// (no common application data folder, a value too long) leaves the journal
// off: there is nowhere to write.
Settings ReadSettings() noexcept;

// DeliveryReports as the registry has it now: false only for 0. Read apart
// from the journal's settings, which every journal write reads.
bool DeliveryReportsOn() noexcept;

}  // namespace vantor::journal
