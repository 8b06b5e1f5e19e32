#include "pty_link.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace modemsim {

bool PtyLink::Open(std::string* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = std::string("posix_openpt: ") + std::strerror(errno);
        Close();
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        *error = "ptsname failed";
        Close();
        return false;
    }
    slave_path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0) {
        *error = "open " + slave_path_ + ": " + std::strerror(errno);
        Close();
        return false;
    }
    // Raw line: no echo, no line editing, no CR/LF translation in either
    // direction. The client may change the settings when it opens the port.
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    if (!link_.empty()) {
        struct stat st;
        if (lstat(link_.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                *error = link_ + " exists and is not a symlink";
                Close();
                return false;
            }
            ::unlink(link_.c_str());
        }
        if (::symlink(slave_path_.c_str(), link_.c_str()) != 0) {
            *error = "symlink " + link_ + ": " + std::strerror(errno);
            Close();
            return false;
        }
    }
    return true;
}

unsigned PtyLink::Baud() const {
    termios tio{};
    if (master_ < 0 || tcgetattr(master_, &tio) != 0) return 0;
    static const struct {
        speed_t code;
        unsigned baud;
    } kRates[] = {{B300, 300},     {B600, 600},     {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
                  {B9600, 9600},   {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
                  {B230400, 230400}, {B460800, 460800}};
    const speed_t speed = cfgetospeed(&tio);
    for (const auto& r : kRates) {
        if (r.code == speed) return r.baud;
    }
    return 0;
}

void PtyLink::Close() {
    if (!link_.empty() && master_ >= 0) {
        char target[256] = {};
        ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && slave_path_ == target) ::unlink(link_.c_str());
    }
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

}  // namespace modemsim
