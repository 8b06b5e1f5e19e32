// The emulator's commands: each one is what an HMI does with the module for
// one user action (check a register, poll it, write it, send a message, list
// the inbox, delete a message, keep polling).
#pragma once

#include <string>

#include "host_session.h"

namespace vhost {

struct CommandOptions {
    bool showTimes = false;  // print how long each module call took
};

class Commands {
public:
    Commands(HostSession& session, CommandOptions options) : session_(session), options_(options) {}

    // Runs one command line (ANSI text, e.g. "send +8613800138000 hello");
    // true when it succeeded.
    bool Run(const std::string& line);

private:
    bool Check(const std::string& name, const std::string& type);
    bool Read(const std::string& name);
    bool Write(const std::string& name, const std::string& value);
    bool Send(const std::string& number, const std::string& text);
    bool Inbox(bool unread);
    bool Delete(const std::string& index);
    bool Poll(int intervalMs, int count);
    bool LinkTest();

    // Register check plus one write, printed as one line.
    bool WriteOne(const std::string& name, const std::string& value, const std::string& shown);
    // Reads the header and body stores of a listing (one packet each) and
    // prints the pairs that are not "^". Returns the number printed, -1 on failure.
    int ListStores(const char* headerStore, const char* bodyStore, int slots);
    std::string Took() const;

    HostSession& session_;
    CommandOptions options_;
};

}  // namespace vhost
