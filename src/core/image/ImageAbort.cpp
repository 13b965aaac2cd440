#include "core/image/ImageAbort.h"

namespace imageabort {
namespace {

thread_local std::stop_token current;

}  // namespace

Aborted::Aborted() : std::runtime_error("the image run was stopped") {}

Scope::Scope(std::stop_token stop) : previous_(std::move(current))
{
    current = std::move(stop);
}

Scope::~Scope()
{
    current = std::move(previous_);
}

bool Requested()
{
    return current.stop_requested();
}

void ThrowIfRequested()
{
    if (Requested()) throw Aborted();
}

}  // namespace imageabort
