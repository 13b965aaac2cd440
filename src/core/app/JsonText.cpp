// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/JsonText.h"

#include <cstring>
#include <memory>

namespace json {

bool Parse(std::string_view text, Json::Value& root, std::string* errors)
{
    const Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string messages;
    const bool parsed = reader->parse(text.data(), text.data() + text.size(), &root, &messages);
    if (errors) *errors = messages;
    return parsed;
}

const Json::Value* Member(const Json::Value& object, const char* key)
{
    return object.isObject() ? object.find(key, key + std::strlen(key)) : nullptr;
}

std::string Text(const Json::Value& object, const char* key)
{
    const Json::Value* value = Member(object, key);
    if (!value) return {};
    if (value->isString()) return value->asString();
    if (value->isIntegral() || value->isDouble() || value->isBool()) return value->asString();
    return {};
}

bool IsAccepted(const Json::Value& root)
{
    const Json::Value* ret = Member(root, "ret");
    return ret && ret->isIntegral() && ret->asInt64() == 0;
}

}  // namespace json
