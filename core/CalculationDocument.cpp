#include "CalculationDocument.h"

#include "Conversions.h"
#include "NumberText.h"
#include "Utf8Text.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>

namespace kelvaro {

namespace {

using Json = nlohmann::ordered_json;

enum class Kind { Text, Number, Integer, Dividends };

// How each input is kept: names, dates and the closures file as strings.
Kind KindOf(std::string_view name) {
    for (std::string_view text :
         {"type", "side", "valuation", "expiry", "dividend-date", "holidays", "closures"})
        if (name == text) return Kind::Text;
    if (name == "steps-per-day") return Kind::Integer;
    if (name == "dividends") return Kind::Dividends;
    return Kind::Number;
}

Kind ScenarioKind(std::string_view name) {
    return name == "cell" ? Kind::Text : Kind::Number;
}

// A stand-in expiry for checking one field alone, which ReadWarrant needs.
constexpr std::string_view kCheckExpiry = "2000-01-03";

[[noreturn]] void Refuse(std::string_view name, const std::string& why) {
    throw DocumentError("laskelma " + Quoted(VisibleText(name)) + ": " + why);
}

// ReadWarrant's message says "valitsimelle --strike"; a document has fields.
std::string AsField(std::string message) {
    for (const auto& [from, to] :
         {std::pair<std::string_view, std::string_view>{"valitsimelle --", "kentälle "},
          {"valitsin --", "kenttä "}})
        for (std::size_t at = message.find(from); at != std::string::npos;
             at = message.find(from, at + to.size()))
            message.replace(at, from.size(), to);
    return message;
}

double NumberOf(std::string_view key, const std::string& text) {
    try {
        const long double value = StrToFloatPointOrComma(text);
        if (std::isfinite(static_cast<double>(value))) return static_cast<double>(value);
    } catch (const EConvertError&) {
    }
    throw DocumentError("laskelmaa ei voi tallentaa: kentän " + Quoted(key) +
                        " arvo ei ole luku: " + Quoted(VisibleText(text)));
}

Json FieldJson(std::string_view key, Kind kind, const std::string& text) {
    switch (kind) {
    case Kind::Text:
        // JSON is UTF-8: a file name that is not cannot be kept.
        if (!IsUtf8(text))
            throw DocumentError("laskelmaa ei voi tallentaa: kentän " + Quoted(key) +
                                " arvo ei ole UTF-8-tekstiä: " + Quoted(VisibleText(text)));
        return text;
    case Kind::Integer:
        try {
            return StrToInt(text);
        } catch (const EConvertError&) {
            throw DocumentError("laskelmaa ei voi tallentaa: kentän " + Quoted(key) +
                                " arvo ei ole kokonaisluku: " + Quoted(VisibleText(text)));
        }
    case Kind::Number:
        return NumberOf(key, text);
    case Kind::Dividends: {
        try {
            ReadDividends("--dividends", text);
        } catch (const InputError& e) {
            throw DocumentError("laskelmaa ei voi tallentaa: " + AsField(e.what()));
        }
        // Each item is now "YYYY-MM-DD:AMOUNT" with blanks around it.
        Json list = Json::array();
        for (std::string_view rest = text; !rest.empty();) {
            const std::size_t end = std::min(rest.find(';'), rest.size());
            const std::string_view item = Trim(rest.substr(0, end));
            rest.remove_prefix(std::min(end + 1, rest.size()));
            if (item.empty()) continue;
            list.push_back(Json{{"date", std::string(item.substr(0, 10))},
                                {"amount", NumberOf(key, std::string(item.substr(11)))}});
        }
        return list;
    }
    }
    return nullptr;
}

// The field's JSON value back as the text an option would give.
std::string FieldText(std::string_view name, std::string_view key, Kind kind, const Json& value) {
    const auto wrongType = [&](std::string_view expected) {
        Refuse(name, "kentän " + Quoted(key) + " arvon pitää olla " + std::string(expected));
    };
    switch (kind) {
    case Kind::Text:
        if (!value.is_string()) wrongType("teksti");
        return value.get<std::string>();
    case Kind::Integer:
    case Kind::Number: {
        if (!value.is_number()) wrongType("luku");
        if (value.is_number_integer())
            return value.is_number_unsigned() ? std::to_string(value.get<std::uint64_t>())
                                              : std::to_string(value.get<std::int64_t>());
        std::string text;
        AppendShortest(text, value.get<double>());
        return text;
    }
    case Kind::Dividends: {
        if (!value.is_array())
            wrongType("luettelo osinkoja ({\"date\": \"YYYY-MM-DD\", "
                      "\"amount\": luku})");
        std::string text;
        for (const Json& item : value) {
            if (!item.is_object() || item.size() != 2 || !item.contains("date") ||
                !item.contains("amount") || !item["date"].is_string() ||
                !item["amount"].is_number())
                wrongType("luettelo osinkoja ({\"date\": \"YYYY-MM-DD\", \"amount\": luku})");
            std::string amount;
            AppendShortest(amount, item["amount"].get<double>());
            text += item["date"].get<std::string>() + ":" + amount + ";";
        }
        return text;
    }
    }
    return {};
}

// One input checked alone by the readers a typed one goes through.
void CheckInput(std::string_view name, const std::string& key, const std::string& text) {
    try {
        if (key == "share" || key == "price") {
            ReadPositivePrice("--" + key, text);
            return;
        }
        InputTexts one{{key, text}};
        if (key != "expiry") one.emplace("expiry", kCheckExpiry);
        ReadWarrant(one);
    } catch (const InputError& e) {
        Refuse(name, AsField(e.what()));
    }
}

void CheckScenario(std::string_view name, const std::string& key, const std::string& text) {
    if (key == "cell") {
        if (text != "value" && text != "change" && text != "percent")
            Refuse(name, "virheellinen arvo kentälle scenario." + key + ": " + Quoted(text) +
                             " (value, change tai percent)");
        return;
    }
    try {
        ReadPrice("--" + key, text);
    } catch (const InputError&) {
        Refuse(name, "virheellinen arvo kentälle scenario." + key + ": " + Quoted(text));
    }
}

bool IsScenarioKey(std::string_view key) {
    for (std::string_view k : kScenarioKeys)
        if (k == key) return true;
    return false;
}

} // namespace

std::string DocumentText(const CalculationDocument& document) {
    Json json;
    json["format"] = kDocumentFormat;
    json["version"] = kDocumentVersion;
    for (const InputInfo& input : kInputs)
        if (const auto it = document.Inputs.find(input.Name); it != document.Inputs.end())
            json[std::string(input.Name)] = FieldJson(input.Name, KindOf(input.Name), it->second);
    if (!document.Scenario.empty()) {
        Json scenario = Json::object();
        for (std::string_view key : kScenarioKeys)
            if (const auto it = document.Scenario.find(key); it != document.Scenario.end())
                scenario[std::string(key)] = FieldJson(key, ScenarioKind(key), it->second);
        json["scenario"] = scenario;
    }
    return json.dump(2) + "\n";
}

CalculationDocument ParseDocument(std::string_view bytes, std::string_view name) {
    Json json;
    try {
        json = Json::parse(bytes.begin(), bytes.end());
    } catch (const Json::parse_error& e) {
        if (e.byte > bytes.size()) Refuse(name, "tiedosto päättyy kesken");
        Refuse(name, "tiedosto ei ole JSON-muotoinen (virhe merkin " + std::to_string(e.byte) +
                         " kohdalla)");
    } catch (const Json::out_of_range&) {
        // A number beyond a double's range: no input takes one.
        Refuse(name, "tiedostossa on luku, joka on liian suuri");
    }
    if (!json.is_object() || !json.contains("format") || json["format"] != kDocumentFormat)
        Refuse(name, "tiedosto ei ole Kelvarolaskurin laskelma (\"format\": \"" +
                         std::string(kDocumentFormat) + "\" puuttuu)");
    if (!json.contains("version") || !json["version"].is_number_integer() ||
        json["version"].get<std::int64_t>() < 1)
        Refuse(name, "kentän \"version\" arvon pitää olla kokonaisluku 1 tai suurempi");
    if (const auto version = json["version"].get<std::int64_t>(); version > kDocumentVersion)
        Refuse(name, "laskelma on tallennettu Kelvarolaskurin uudemmalla versiolla (laskelman "
                     "versio " +
                         std::to_string(version) + "); tämä ohjelma lukee vain version " +
                         std::to_string(kDocumentVersion) + " laskelmia");

    CalculationDocument document;
    for (const auto& [key, value] : json.items()) {
        if (key == "format" || key == "version") continue;
        if (key == "scenario") {
            if (!value.is_object()) Refuse(name, "kentän \"scenario\" arvon pitää olla olio");
            for (const auto& [scenarioKey, scenarioValue] : value.items()) {
                if (!IsScenarioKey(scenarioKey))
                    Refuse(name,
                           "tuntematon kenttä " + Quoted(VisibleText("scenario." + scenarioKey)));
                std::string text = FieldText(name, "scenario." + scenarioKey,
                                             ScenarioKind(scenarioKey), scenarioValue);
                CheckScenario(name, scenarioKey, text);
                document.Scenario.emplace(scenarioKey, std::move(text));
            }
            continue;
        }
        if (!IsInput(key)) Refuse(name, "tuntematon kenttä " + Quoted(VisibleText(key)));
        std::string text = FieldText(name, key, KindOf(key), value);
        CheckInput(name, key, text);
        document.Inputs.emplace(key, std::move(text));
    }
    return document;
}

CalculationDocument ReadDocumentFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    if (in) {
        bytes.resize(kMostDocumentBytes + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (!in && !in.eof())
        throw DocumentError("laskelmaa " + Quoted(VisibleText(path)) + " ei voi lukea");
    if (bytes.size() > kMostDocumentBytes)
        Refuse(path, "tiedosto on liian suuri laskelmaksi (yli " +
                         std::to_string(kMostDocumentBytes / 1024) + " kt)");
    return ParseDocument(bytes, path);
}

SaveStatus SaveDocument(const std::string& path, const CalculationDocument& document) {
    const std::string text = DocumentText(document);
    return SaveFile(path, text);
}

} // namespace kelvaro
