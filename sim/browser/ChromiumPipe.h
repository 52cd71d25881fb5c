// Debian's Chromium as a headless child process, spoken to over its DevTools pipe: one JSON
// message a NUL-terminated record, commands on the child's fd 3, answers and events on its fd 4.
#pragma once
#include <memory>
#include <string>

struct ChromiumLaunch {
    // The program; empty finds "chromium" on PATH.
    std::string program;
};

// Owns the child, both pipe ends and the throwaway profile folder; the destructor ends the child
// (politely, then by force), reaps it and removes the folder, on every path.
class ChromiumPipe {
public:
    virtual ~ChromiumPipe() = default;
    // Writes one message and its NUL; false once the child has gone. Any thread, one at a time.
    virtual bool Send(const std::string& message) = 0;
    // Blocks until the next whole message; false when the child closed its end (or was ended).
    // Called from one reader thread only.
    virtual bool Receive(std::string* message) = 0;
    // Ends the child now (a blocked Receive then returns false). Safe to call twice.
    virtual void Terminate() = 0;
    // The last line the child wrote on its standard error, for a message when it failed.
    virtual std::string LastErrorLine() const = 0;
};

// Starts the child; nothing, with a one-line reason, when it cannot be started at all.
std::unique_ptr<ChromiumPipe> StartChromiumPipe(const ChromiumLaunch& launch, std::string* error);
