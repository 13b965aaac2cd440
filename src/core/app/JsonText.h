// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <json/json.h>

#include <string>
#include <string_view>

// Reading the JSON the program meets (the prober's report, the service's answers) the same way
// everywhere.
namespace json {

// Parses text with JsonCpp's default reader (comments allowed). False when it is not JSON;
// errors, when given, then says why.
bool Parse(std::string_view text, Json::Value& root, std::string* errors = nullptr);

// The member of an object, or null when the value is no object or lacks the key.
const Json::Value* Member(const Json::Value& object, const char* key);

// A member as text ("0" and 0 both give "0"); empty when absent or not a scalar.
std::string Text(const Json::Value& object, const char* key);

// The service's "done" answer: an object whose "ret" is the integer 0.
bool IsAccepted(const Json::Value& root);

}  // namespace json
