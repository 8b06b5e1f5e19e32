// The pseudo-terminal modemsim serves, with an optional symlink to its slave
// side (for Wine: $WINEPREFIX/dosdevices/comN).
#pragma once

#include <string>

namespace modemsim {

class PtyLink {
public:
    explicit PtyLink(std::string link_path) : link_(std::move(link_path)) {}
    ~PtyLink() { Close(); }
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Creates a raw pty and points the link at its slave. False with a
    // message in `error` on failure.
    bool Open(std::string* error);
    // Closes both sides and removes the link: the client sees a hang-up.
    void Close();
    bool is_open() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    // The baud rate the client last set on the line (the master reports the
    // slave's settings); 0 when closed or not a standard rate.
    unsigned Baud() const;

private:
    std::string link_;
    std::string slave_path_;
    int master_ = -1;
    // Our own descriptor of the slave: while it is open, the master does not
    // report a hang-up when the client closes the port and opens it again.
    int slave_ = -1;
};

}  // namespace modemsim
