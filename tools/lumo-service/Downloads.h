// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <string>

// The installer files under /download/: plain file names only, at most one byte range, read from
// the disk piece by piece while they are sent.
namespace downloads {

// A name the files folder may serve: not empty, at most 255 bytes, no NUL, '/', '\\' or "..",
// and not starting with '.'.
bool IsServableName(const std::string& name);

enum class Part { Whole, Range, Unsatisfiable };
// Reads a Range header for a file of size bytes. A single "bytes=" range gives Range with its
// inclusive ends in first and last; a header of another unit is ignored (Whole); several ranges,
// a malformed one or one past the end are Unsatisfiable.
Part ParseRange(const std::string& header, long long size, long long& first, long long& last);

// Opens name in folder for reading: a servable name of a regular file whose real path, symbolic
// links resolved, lies inside the folder (a link to another file of the folder is served, one
// that leads out of it is not). The descriptor (close-on-exec, its size in size), or -1.
int OpenServable(const std::string& folder, const std::string& name, long long& size);

// Answers GET or HEAD for name in folder. Errors leave the body empty: 400 for a name that is
// not servable, 404 for one that OpenServable refuses, 416 for a range that cannot be served.
void Serve(const std::string& folder, const std::string& name, const httplib::Request& request,
           httplib::Response& response);

}  // namespace downloads
