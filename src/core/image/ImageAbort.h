#pragma once

#include <stdexcept>
#include <stop_token>

// Ending an image run early. A run makes its stop token the one of its thread while it lasts
// (Scope); the image library's progress monitor, the palette quantiser's progress callback, the
// PNG packer and the pipeline between its steps ask Requested() and give up once it turns true.
// A thread without a scope is never asked to stop.
namespace imageabort {

// What a step throws when it sees the stop requested.
class Aborted : public std::runtime_error {
public:
    Aborted();
};

// Makes stop the calling thread's stop token until the scope ends (scopes nest).
class Scope {
public:
    explicit Scope(std::stop_token stop);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    std::stop_token previous_;
};

// True once the calling thread's run has been asked to stop. Cheap: one atomic read.
bool Requested();
// Throws Aborted when Requested().
void ThrowIfRequested();

}  // namespace imageabort
