#include "Options.h"

#include "Batch.h"
#include "Conversions.h"
#include "Dates.h"
#include "InputScaling.h"
#include "PeopleText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kelvaro {

namespace {

// The number defaults are the window's own default texts, so that they reach
// the record through exactly the same conversion.
constexpr OptionInfo kOptions[] = {
    {"--valuation", "\"YYYY-MM-DD HH:MM\"", "",
     "laskentahetki (oletus: tänään klo 10:00; pelkkä päivä tarkoittaa klo 10:00)"},
    {"--expiry", "YYYY-MM-DD", "",
     "päättymispäivä, pakollinen; päättymishetki on aina pörssin sulkeutuminen klo 18:20, "
     "joten kellonajaksi käy vain 18:20"},
    {"--type", "normal|turbo-shb|turbo-sg", "normal",
     "tyyppi: Normal, Turbo (SHB) tai Turbo (SG) (oletus: normal)"},
    {"--side", "call|put", "call", "Call/long tai Put/short (oletus: call)"},
    {"--strike", "HINTA", "15,00", "toteutushinta osakkeen hintayksikköinä (oletus: 15)"},
    {"--multiplier", "KERROIN", "0,2", "kerroin (oletus: 0,2)"},
    {"--margin", "HINTA", "0,50",
     "SG:n knock-out-marginaali hintayksikköinä, käytössä vain tyypillä turbo-sg (oletus: 0,5)"},
    {"--dividend-date", "\"YYYY-MM-DD[ HH:MM]\"", "2006-03-31",
     "osinkopäivä (oletus: 2006-03-31; kellonaika oletuksena 18:20)"},
    {"--dividend", "HINTA", "0,00", "osinko osaketta kohden, 0 = ei osinkoa (oletus: 0)"},
    {"--steps-per-day", "N", "100", "aika-askelia pörssipäivässä, kokonaisluku (oletus: 100)"},
    {"--volatility", "PROSENTTIA", "30,0", "laskentavolatiliteetti, % vuodessa (oletus: 30)"},
    {"--rate", "PROSENTTIA", "3,0", "riskitön korko, % vuodessa (oletus: 3)"},
    {"--open", "PROSENTTIA", "100", "pörssiaika, % päivästä (oletus: 100)"},
    {"--weekend", "PÄIVÄÄ", "2,0", "viikonlopun pituus päivinä (oletus: 2)"},
    {"--results", "TIEDOSTO", "",
     "tallentaa koko arvotaulukon sarkaineroteltuna tiedostoon kuten ikkunan "
     "\"Tallenna tulokset\" (oletus: ei tallenneta)"},
    {"--decimal-separator", "MERKKI", "",
     "ihmisille tarkoitetun tekstin (tunnusluvut, tarkastus, virheilmoitukset), tulostiedoston "
     "ja skenaarion CSV:n desimaalierotin, yksi merkki (oletus: alueasetusten)"},
    {"--check", "", "",
     "tulostaa aika-askeleen tarkastuksen tuloksen (\"Tarkasta parametrit\") laskennan sijaan"},
    {"--value-at", "HINTA", "",
     "tulostaa nykyarvon tällä osakkeen hinnalla, lineaarisesti kahden solmun välillä"},
    {"--share", "HINTA", "",
     "tulostaa tunnusluvut tällä osakkeen hinnalla (arvo, delta, gamma, theta, vega, rho, vipu, "
     "preemio, tasapiste, knock-out-taso ja suljetun kaavan arvo) listauksen sijaan"},
    {"--price", "HINTA", "",
     "hakee volatiliteetin, jolla warrantin arvo osakkeen hinnalla --share on tämä hinta "
     "(väliltä 1–300 %), ja tulostaa sen ja tunnusluvut sillä volatiliteetilla"},
    {"--json", "", "", "tulostaa laskennan tiivistelmän JSON-muodossa listauksen sijaan"},
    {"--scenario", "", "",
     "tulostaa skenaariotaulukon CSV-muotoisena (hinnat riveinä, päivät sarakkeina); "
     "--json-valitsimen kanssa JSON-olion \"Scenario\""},
    {"--scenario-prices", "P1,P2,…", "",
     "skenaarion hinnat (oletus: 9 hintaa -20 %:sta +20 %:iin osakkeen hinnasta tai "
     "toteutushinnasta); desimaalipilkun kanssa hinnat puolipistein eroteltuina (12;15,5;18); "
     "pelkät kaksi kokonaislukua pilkulla erotettuina (15,5) ovat kaksiselitteiset ja "
     "hylätään"},
    {"--scenario-dates", "YYYY-MM-DD,…", "",
     "skenaarion päivät, hilan kaupankäyntipäiviä (oletus: nyt, +1 vk, +1 kk, +3 kk, +6 kk, "
     "+1 v, … ja päättymispäivä)"},
    {"--chart", "TIEDOSTO.png|.svg", "",
     "piirtää arvokäyrän 1200 × 800 ilman näyttöä, PNG- tai SVG-kuvaksi nimen päätteen mukaan"},
    {"--grid", "TIEDOSTO.csv", "",
     "tallentaa arvotaulukon täydellä tarkkuudella: rivi solmua kohden (Hinta, Nyt ja "
     "kaupankäyntipäivien sulkuarvot päivämäärien alla), luvut pisteellä, kentät pilkuin"},
    {"--batch", "TIEDOSTO|-", "",
     "laskee CSV-tiedoston (- = vakiosyöte) jokaisen rivin warrantin ja tulostaa rivit "
     "JSON-riveinä samassa järjestyksessä; sarakkeina valitsinten pitkät nimet (ks. alla)"},
    {"--batch-format", "json|csv", "json", "--batch-tulosteen muoto (oletus: json)"},
    {"--jobs", "N", "",
     "--batch: rinnakkain laskevia säikeitä (oletus: käytettävissä olevat suorittimet)"},
    {"--help", "", "", "tämä ohje"},
    {"--version", "", "", "ohjelman versio"},
};

const OptionInfo* FindOption(std::string_view name) {
    for (const OptionInfo& option : kOptions)
        if (option.name == name) return &option;
    return nullptr;
}

} // namespace

std::string_view OptionDefault(std::string_view name) {
    const OptionInfo* option = FindOption(name);
    if (option == nullptr) throw std::invalid_argument("tuntematon valitsin " + std::string(name));
    return option->defaultText;
}

std::span<const OptionInfo> AllOptions() {
    return kOptions;
}

std::string Quoted(std::string_view text) {
    // Appended rather than `"\"" + ... + "\""`, on which GCC 12 warns falsely (-Wrestrict).
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    return quoted;
}

void ThrowBadValue(std::string_view name, std::string_view text, std::string_view hint) {
    std::string message =
        "virheellinen arvo valitsimelle " + std::string(name) + ": " + Quoted(text);
    if (!hint.empty()) message += " (" + std::string(hint) + ")";
    throw UsageError(message);
}

ParsedArgs::ParsedArgs(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 3 || !arg.starts_with("--"))
            throw UsageError("tuntematon argumentti: " + Quoted(arg));
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const OptionInfo* option = FindOption(name);
        if (option == nullptr) throw UsageError("tuntematon valitsin: " + Quoted(name));
        std::string value;
        if (option->argument.empty()) {
            if (eq != std::string::npos)
                throw UsageError("valitsin " + name + " ei ota arvoa: " + Quoted(arg));
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
            value = args[++i];
        }
        if (!option->argument.empty() && value.empty())
            throw UsageError("valitsimelta " + name + " puuttuu arvo " +
                             std::string(option->argument));
        if (!values_.emplace(option->name, std::move(value)).second)
            throw UsageError("valitsin " + name + " on annettu useammin kuin kerran");
    }
}

std::string ParsedArgs::Text(std::string_view name) const {
    const auto it = values_.find(name);
    return it != values_.end() ? it->second : std::string(FindOption(name)->defaultText);
}

// A point or a comma, whichever the text holds, is its decimal separator.
long double ReadFloat(const ParsedArgs& parsed, std::string_view name) {
    const std::string text = parsed.Text(name);
    const char separator = text.find(',') != std::string::npos ? ',' : '.';
    try {
        return StrToFloat(text, separator);
    } catch (const EConvertError&) {
        ThrowBadValue(name, text);
    }
}

int ReadInt(const ParsedArgs& parsed, std::string_view name) {
    const std::string text = parsed.Text(name);
    try {
        return StrToInt(text);
    } catch (const EConvertError&) {
        ThrowBadValue(name, text, "kokonaisluku");
    }
}

// "YYYY-MM-DD HH:MM", or "YYYY-MM-DD" at the given time of day; a real
// calendar date and a time from 00:00 to 23:59.
double ReadDate(const ParsedArgs& parsed, std::string_view name, int defaultHour,
                int defaultMinute) {
    const std::string text = parsed.Text(name);
    if (const std::optional<DateTimeFields> f = ParseDateTimeFields(text, true)) {
        try {
            return EncodeDateTime(f->Year, f->Month, f->Day, f->HasTime ? f->Hour : defaultHour,
                                  f->HasTime ? f->Minute : defaultMinute);
        } catch (const EConvertError&) {
        }
    }
    ThrowBadValue(name, text, "päivämäärä muodossa YYYY-MM-DD tai YYYY-MM-DD HH:MM");
}

// One character; a Latin-1 one may come UTF-8 encoded and is written as its
// one byte, like the window's regional separator. Characters that would make
// the numbers or fields unreadable are refused.
char ReadSeparator(const ParsedArgs& parsed) {
    const std::string text = parsed.Text("--decimal-separator");
    unsigned code = 0x100;
    if (text.size() == 1) {
        code = static_cast<unsigned char>(text[0]);
        if (code >= 0x80) code = 0x100;
    } else if (text.size() == 2) {
        const auto lead = static_cast<unsigned char>(text[0]);
        const auto trail = static_cast<unsigned char>(text[1]);
        if ((lead == 0xC2 || lead == 0xC3) && (trail & 0xC0) == 0x80)
            code = ((lead & 0x1Fu) << 6) | (trail & 0x3Fu);
    }
    const bool control = code < 0x20 || (code >= 0x7F && code < 0xA0);
    const bool ambiguous =
        (code >= '0' && code <= '9') || code == '+' || code == '-' || code == 'E' || code == 'e';
    if (code > 0xFF || control || ambiguous)
        ThrowBadValue("--decimal-separator", text,
                      "yksi merkki, ei numero, etumerkki, E eikä ohjausmerkki");
    return static_cast<char>(code);
}

CGrid ReadInputs(const ParsedArgs& parsed) {
    CGrid grid;
    CWarrant& warrant = grid.Warrant;

    const std::string type = parsed.Text("--type");
    if (type == "normal")
        warrant.ProductType = kNormal;
    else if (type == "turbo-shb")
        warrant.ProductType = kTurboSHB;
    else if (type == "turbo-sg")
        warrant.ProductType = kTurboSG;
    else
        ThrowBadValue("--type", type, "normal, turbo-shb tai turbo-sg");

    const std::string side = parsed.Text("--side");
    if (side != "call" && side != "put") ThrowBadValue("--side", side, "call tai put");
    warrant.IsCall = side == "call";

    constexpr int kCloseHour = 18, kCloseMinute = 20;
    warrant.Strike = static_cast<double>(ReadFloat(parsed, "--strike"));
    warrant.Expiry = ReadDate(parsed, "--expiry", kCloseHour, kCloseMinute);
    // The calendar counts the expiry day to its close whatever the time of
    // day, as the window's expiry (always 18:20) does: another time would be
    // read and then silently ignored.
    if (const std::string expiry = parsed.Text("--expiry");
        expiry.size() > 10 && expiry.substr(11) != "18:20")
        ThrowBadValue("--expiry", expiry,
                      "päättymishetki on aina pörssin sulkeutuminen klo 18:20: anna pelkkä "
                      "päivä tai kellonaika 18:20");
    warrant.Multiplier = static_cast<double>(ReadFloat(parsed, "--multiplier"));
    warrant.Volatility = FromPercent(ReadFloat(parsed, "--volatility"));
    warrant.DividendDate = ReadDate(parsed, "--dividend-date", kCloseHour, kCloseMinute);
    warrant.Dividend = static_cast<double>(ReadFloat(parsed, "--dividend"));
    // A mistyped margin is reported for every type, although only Turbo (SG)
    // uses it: a script's typo should not pass unnoticed.
    const double margin = static_cast<double>(ReadFloat(parsed, "--margin"));
    warrant.KnockOutMargin = warrant.ProductType == kTurboSG ? margin : 0.0;
    // The window's valuation picker starts today at 10:00.
    grid.ValuationTime =
        parsed.Has("--valuation") ? ReadDate(parsed, "--valuation", 10, 0) : Today() + 10.0 / 24.0;
    grid.StepsPerDay = ReadInt(parsed, "--steps-per-day");
    grid.OpenFraction = FromPercent(ReadFloat(parsed, "--open"));
    grid.WeekendWeight = WeekendWeightFromDays(ReadFloat(parsed, "--weekend"));
    grid.Rate = FromPercent(ReadFloat(parsed, "--rate"));
    return grid;
}

// The price as a double rounded once: a shortest round-trip text (from
// --json) must hit its node exactly, which a detour through extended
// precision could miss by double rounding. StrToFloat still judges the syntax.
double ReadPrice(const ParsedArgs& parsed, std::string_view name) {
    std::string text = parsed.Text(name);
    ReadFloat(parsed, name);
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; }),
        text.end());
    std::replace(text.begin(), text.end(), ',', '.');
    const char* first = text.data() + (text.starts_with('+') ? 1 : 0);
    double price = 0;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), price);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(price))
        ThrowBadValue(name, parsed.Text(name));
    return price;
}

double PositivePrice(const ParsedArgs& parsed, std::string_view name) {
    const double price = ReadPrice(parsed, name);
    if (!(price > 0)) ThrowBadValue(name, parsed.Text(name), "hinta suurempi kuin 0");
    return price;
}

std::string HelpText() {
    std::string text =
        "Käyttö: kelvaro --expiry YYYY-MM-DD [valitsimet]\n"
        "\n"
        "Laskee warrantin arvon kuten Kelvarolaskurin ikkuna ja tulostaa hilan solmut\n"
        "(numero, osakkeen hinta, warrantin nykyarvo) riveittäin.\n"
        "\n"
        "Valitsimet (--valitsin ARVO tai --valitsin=ARVO):\n";
    // Option and argument, then the description wrapped at 79 columns under
    // a common indentation. Widths count characters, not UTF-8 bytes.
    constexpr std::size_t kIndent = 30, kWidth = 79;
    const auto columns = [](std::string_view s) {
        return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    };
    for (const OptionInfo& option : kOptions) {
        std::string line = "  ";
        line.append(option.name);
        if (!option.argument.empty()) line.append(" ").append(option.argument);
        std::size_t used = columns(line);
        if (used + 1 > kIndent) {
            text.append(line).append("\n");
            line.clear();
            used = 0;
        }
        line.append(kIndent - used, ' ');
        used = kIndent;
        std::string_view rest = option.help;
        while (!rest.empty()) {
            const std::size_t cut = rest.find(' ');
            const std::string_view word = rest.substr(0, cut);
            if (used > kIndent && used + 1 + columns(word) > kWidth) {
                text.append(line).append("\n");
                line.assign(kIndent, ' ');
                used = kIndent;
            }
            if (used > kIndent) {
                line += ' ';
                ++used;
            }
            line.append(word);
            used += columns(word);
            rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        }
        text.append(line).append("\n");
    }
    text += "\n"
            "Luvuissa desimaalierottimena käy piste tai pilkku (yksi erotin, ei\n"
            "tuhaterottimia). Koneen luettavaksi tarkoitetut tulosteet (listaus, --value-at,\n"
            "--json ja --batch) käyttävät aina pistettä. Ihmisille tarkoitettu teksti\n"
            "(--share, --price, --check ja virheilmoitukset), tulostiedosto ja skenaarion\n"
            "CSV käyttävät alueasetusten desimaalierotinta tai valitsimen\n"
            "--decimal-separator merkkiä. Nykyinen alueasetusten desimaalierotin on \"";
    // The separator may be a Latin-1 byte; the help is UTF-8.
    text += Latin1ToUtf8(std::string(1, DecimalSeparator()));
    text +=
        "\".\n"
        "Valitsimista --check, --json/--scenario ja --value-at voi käyttää vain yhtä kerrallaan;\n"
        "--share (ja --price) käy yhdessä valitsimien --json ja --results kanssa.\n"
        "\n" +
        BatchHelpText() +
        "\n"
        "Paluuarvot: 0 onnistui, 2 virheellinen valitsin tai parametri, 3 laskentavirhe\n"
        "tai volatiliteettia ei löydy, 4 tiedostoa tai tulostetta ei voitu kirjoittaa,\n"
        "5 (--batch) osa riveistä epäonnistui.\n";
    return text;
}

} // namespace kelvaro
