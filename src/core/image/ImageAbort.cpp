// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageAbort.h"

namespace imageabort {
namespace {

thread_local const std::stop_token* current = nullptr;

}  // namespace

Aborted::Aborted() : std::runtime_error("the image run was stopped") {}

Scope::Scope(std::stop_token stop) : stop_(std::move(stop)), previous_(current)
{
    current = &stop_;
}

Scope::~Scope()
{
    current = previous_;
}

bool Requested()
{
    return current && current->stop_requested();
}

void ThrowIfRequested()
{
    if (Requested()) throw Aborted();
}

const std::stop_token* Token()
{
    return current;
}

bool RequestedFor(const void* token)
{
    return token && static_cast<const std::stop_token*>(token)->stop_requested();
}

}  // namespace imageabort
