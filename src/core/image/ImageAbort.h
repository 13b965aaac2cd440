// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <stop_token>

// Ending an image run early. A run makes its stop token the one of its thread while it lasts
// (Scope); the image library's progress monitor, the palette quantiser's progress callback, the
// PNG packer and the pipeline between its steps ask Requested() and give up once it turns true.
// A thread without a scope is never asked to stop.
//
// The image library and the quantiser call their progress callbacks from their own worker
// threads (OpenMP) too, where the run's thread-local token is not set: they are handed the
// token itself (Token()) as their callback's data, and ask RequestedFor() with it.
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
    std::stop_token stop_;
    const std::stop_token* previous_;
};

// True once the calling thread's run has been asked to stop. Cheap: one atomic read.
bool Requested();
// The calling thread's stop token while a scope lasts (null without one), for callbacks that
// run on other threads; and the check they make with it.
const std::stop_token* Token();
bool RequestedFor(const void* token);
// Throws Aborted when Requested().
void ThrowIfRequested();

}  // namespace imageabort
