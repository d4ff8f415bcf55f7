// The pseudo-terminal the target listens on: the master side stays with us
// (non-blocking, raw 8-bit, no echo), hosts open the slave path like any
// serial device, as often as they like.
#pragma once

#include <memory>
#include <string>

class Pseudoterminal {
public:
    // Null and `error` set when no terminal can be had.
    static std::unique_ptr<Pseudoterminal> Open(std::string& error);
    ~Pseudoterminal();
    Pseudoterminal(const Pseudoterminal&) = delete;
    Pseudoterminal& operator=(const Pseudoterminal&) = delete;

    int Master() const { return master; }
    // Closes the master side: the slave's holders see a hang-up. Master() is -1 from then on.
    void HangUp();
    const std::string& SlavePath() const { return slavePath; }

private:
    Pseudoterminal(int masterFd, std::string slave)
        : master(masterFd), slavePath(std::move(slave)) {}
    int master;
    std::string slavePath;
};

// A symbolic link to the terminal (--link) that goes away with the target,
// unless someone has pointed it elsewhere meanwhile.
class SymbolicLink {
public:
    // Replaces an existing link at `path`; refuses to touch any other file.
    static std::unique_ptr<SymbolicLink> Create(const std::string& path, const std::string& target,
                                                std::string& error);
    ~SymbolicLink();
    SymbolicLink(const SymbolicLink&) = delete;
    SymbolicLink& operator=(const SymbolicLink&) = delete;

private:
    SymbolicLink(std::string linkPath, std::string linkTarget)
        : path(std::move(linkPath)), target(std::move(linkTarget)) {}
    std::string path;
    std::string target;
};
