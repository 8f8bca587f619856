#include "Options.h"

#include "BatchOptions.h"
#include "CalculationDocument.h"
#include "Conversions.h"
#include "Dates.h"
#include "InputScaling.h"
#include "PeopleText.h"
#include "Refusals.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kelvaro {

namespace {

// The inputs' defaults are the window's own default texts (kInputs), so that
// they reach the record through exactly the same conversion.
constexpr OptionInfo kOptions[] = {
    {"--valuation", "\"YYYY-MM-DD HH:MM\"", "",
     "laskentahetki (oletus: tänään klo 10:00; pelkkä päivä tarkoittaa klo 10:00)"},
    {"--expiry", "YYYY-MM-DD", "",
     "päättymispäivä, pakollinen; päättymishetki on aina pörssin sulkeutuminen klo 18:20, "
     "joten kellonajaksi käy vain 18:20"},
    {"--type", "normal|turbo-shb|turbo-sg", InputDefault("type"),
     "tyyppi: Normal, Turbo (SHB) tai Turbo (SG) (oletus: normal)"},
    {"--side", "call|put", InputDefault("side"), "Call/long tai Put/short (oletus: call)"},
    {"--strike", "HINTA", InputDefault("strike"),
     "toteutushinta osakkeen hintayksikköinä (oletus: 15)"},
    {"--multiplier", "KERROIN", InputDefault("multiplier"), "kerroin (oletus: 0,2)"},
    {"--margin", "HINTA", InputDefault("margin"),
     "SG:n knock-out-marginaali hintayksikköinä, käytössä vain tyypillä turbo-sg (oletus: 0,5)"},
    {"--dividend-date", "\"YYYY-MM-DD[ HH:MM]\"", InputDefault("dividend-date"),
     "osinkopäivä (oletus: 2006-03-31; kellonaika oletuksena 18:20)"},
    {"--dividend", "HINTA", InputDefault("dividend"),
     "osinko osaketta kohden, 0 = ei osinkoa (oletus: 0)"},
    {"--dividends", "\"PVM:OSINKO;…\"", "",
     "lisäosingot --dividend-osingon lisäksi, puolipistein eroteltuina, esim. "
     "\"2027-03-20:0,30;2027-06-20:0,30\" (enintään 64; päivä YYYY-MM-DD, klo 18:20; osinko "
     "osaketta kohden pisteellä tai pilkulla); saman päivän osingot lasketaan yhteen"},
    {"--steps-per-day", "N", InputDefault("steps-per-day"),
     "aika-askelia pörssipäivässä, kokonaisluku (oletus: 100)"},
    {"--volatility", "PROSENTTIA", InputDefault("volatility"),
     "laskentavolatiliteetti, % vuodessa (oletus: 30)"},
    {"--rate", "PROSENTTIA", InputDefault("rate"), "riskitön korko, % vuodessa (oletus: 3)"},
    {"--open", "PROSENTTIA", InputDefault("open"), "pörssiaika, % päivästä (oletus: 100)"},
    {"--weekend", "PÄIVÄÄ", InputDefault("weekend"), "viikonlopun pituus päivinä (oletus: 2)"},
    {"--holidays", "helsinki", "",
     "pörssin vapaapäivät: helsinki = Helsingin pörssin kiinteät ja pääsiäisen mukaan "
     "liikkuvat vapaapäivät, jotka lasketaan kuten viikonloppupäivät (oletus: ei vapaapäiviä)"},
    {"--closures", "TIEDOSTO", "",
     "lisäsulkemiset tiedostosta: yksi päivä YYYY-MM-DD riviä kohden, # aloittaa "
     "kommentin, tyhjät rivit ohitetaan; yksin tai --holidays-valitsimen lisäksi"},
    {"--inputs", "TIEDOSTO.kelvaro", "",
     "lukee syötteet laskelmasta (ikkunan \"Tallenna laskelma\" tai --save-inputs); "
     "komentorivin valitsimet ohittavat laskelman kentät, olivatpa ne ennen tai jälkeen tämän"},
    {"--save-inputs", "TIEDOSTO.kelvaro", "",
     "tallentaa annetut syötteet (laskelman ja valitsimien) laskelmaksi, jonka ikkuna ja "
     "--inputs avaavat"},
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

ParsedArgs::ParsedArgs(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 3 || !arg.starts_with("--"))
            throw InputError("tuntematon argumentti: " + Quoted(arg));
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const OptionInfo* option = FindOption(name);
        if (option == nullptr) throw InputError("tuntematon valitsin: " + Quoted(name));
        std::string value;
        if (option->argument.empty()) {
            if (eq != std::string::npos)
                throw InputError("valitsin " + name + " ei ota arvoa: " + Quoted(arg));
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
            value = args[++i];
        }
        if (!option->argument.empty() && value.empty())
            throw InputError("valitsimelta " + name + " puuttuu arvo " +
                             std::string(option->argument));
        if (!values_.emplace(option->name, std::move(value)).second)
            throw InputError("valitsin " + name + " on annettu useammin kuin kerran");
    }
}

std::string ParsedArgs::Text(std::string_view name) const {
    const auto it = values_.find(name);
    return it != values_.end() ? it->second : std::string(FindOption(name)->defaultText);
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

InputTexts InputTextsOf(const ParsedArgs& parsed) {
    InputTexts texts;
    if (parsed.Has("--inputs")) texts = ReadDocumentFile(parsed.Text("--inputs")).Inputs;
    for (const InputInfo& input : kInputs) {
        const std::string option = "--" + std::string(input.Name);
        if (parsed.Has(option))
            texts.insert_or_assign(std::string(input.Name), parsed.Text(option));
    }
    return texts;
}

namespace {

// Characters as a terminal counts them, not UTF-8 bytes.
std::size_t Columns(std::string_view s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Option and argument, then the description wrapped at 79 columns under
// a common indentation.
std::string OptionHelp(const OptionInfo& option) {
    constexpr std::size_t kIndent = 30, kWidth = 79;
    std::string text, line = "  ";
    line.append(option.name);
    if (!option.argument.empty()) line.append(" ").append(option.argument);
    std::size_t used = Columns(line);
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
        if (used > kIndent && used + 1 + Columns(word) > kWidth) {
            text.append(line).append("\n");
            line.assign(kIndent, ' ');
            used = kIndent;
        }
        if (used > kIndent) {
            line += ' ';
            ++used;
        }
        line.append(word);
        used += Columns(word);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    return text.append(line).append("\n");
}

} // namespace

std::string HelpText() {
    std::string text =
        "Käyttö: kelvaro --expiry YYYY-MM-DD [valitsimet]\n"
        "\n"
        "Laskee warrantin arvon kuten Kelvarolaskurin ikkuna ja tulostaa hilan solmut\n"
        "(numero, osakkeen hinta, warrantin nykyarvo) riveittäin.\n"
        "\n"
        "Valitsimet (--valitsin ARVO tai --valitsin=ARVO):\n";
    for (const OptionInfo& option : kOptions) text += OptionHelp(option);
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
