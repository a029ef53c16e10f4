#include "kit/core/KBPropertyList.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace {

plist_t nodeFor(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::object: {
        plist_t dict = plist_new_dict();
        for (const auto& [key, item] : value.items()) {
            plist_dict_set_item(dict, key.c_str(), nodeFor(item));
        }
        return dict;
    }
    case nlohmann::json::value_t::array: {
        plist_t array = plist_new_array();
        for (const auto& item : value) {
            plist_array_append_item(array, nodeFor(item));
        }
        return array;
    }
    case nlohmann::json::value_t::boolean:
        return plist_new_bool(value.get<bool>() ? 1 : 0);
    case nlohmann::json::value_t::number_unsigned:
        return plist_new_uint(value.get<uint64_t>());
    case nlohmann::json::value_t::number_integer:
        // This libplist has unsigned integers only; negatives stay exact as reals.
        return value.get<int64_t>() >= 0 ? plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()))
                                         : plist_new_real(static_cast<double>(value.get<int64_t>()));
    case nlohmann::json::value_t::number_float:
        return plist_new_real(value.get<double>());
    case nlohmann::json::value_t::string:
        return plist_new_string(value.get<std::string>().c_str());
    default:
        return plist_new_string("");
    }
}

std::string takeString(char* text)
{
    std::string result = text != nullptr ? text : "";
    std::free(text);
    return result;
}

std::optional<nlohmann::json> valueOf(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        nlohmann::json object = nlohmann::json::object();
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (item == nullptr) {
                std::free(key);
                break;
            }
            const std::string name = takeString(key);
            if (auto converted = valueOf(item)) {
                object[name] = std::move(*converted);
            }
        }
        std::free(iterator);
        return object;
    }
    case PLIST_ARRAY: {
        nlohmann::json array = nlohmann::json::array();
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i) {
            if (auto converted = valueOf(plist_array_get_item(node, i))) {
                array.push_back(std::move(*converted));
            }
        }
        return array;
    }
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return nlohmann::json(flag != 0);
    }
    case PLIST_UINT: {
        uint64_t number = 0;
        plist_get_uint_val(node, &number);
        return nlohmann::json(number);
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        return nlohmann::json(number);
    }
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        return nlohmann::json(takeString(text));
    }
    default:
        return std::nullopt;
    }
}

} // namespace

std::string KBPropertyList::toXml(const nlohmann::json& value)
{
    std::unique_ptr<void, decltype(&plist_free)> root(nodeFor(value), plist_free);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string text(xml != nullptr ? xml : "", length);
    plist_to_xml_free(xml);
    return text;
}

std::optional<nlohmann::json> KBPropertyList::fromXml(const std::string& text)
{
    if (text.empty() || text.find("<plist") == std::string::npos) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_xml(text.data(), static_cast<uint32_t>(text.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<void, decltype(&plist_free)> owner(root, plist_free);
    return valueOf(root);
}
