#include "Closures.h"

#include "Calendar.h"
#include "Conversions.h"
#include "Csv.h"
#include "Dates.h"
#include "Holidays.h"
#include "WarrantInputs.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace kelvaro {

namespace {

// A closures file is a few dozen short lines; these bound what a wrong file
// may cost (a line is first read up to the list reader's own bound).
constexpr size_t kLongestLine = 200;
constexpr int64_t kMostLines = 100000;

} // namespace

std::vector<int32_t> ReadClosuresFile(const std::string& path) {
    // Only a regular file: a device or a pipe could feed lines forever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw InputError("sulkemispäivien tiedosto " + Quoted(path) +
                         " ei ole luettavissa oleva tavallinen tiedosto");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError("sulkemispäivien tiedostoa " + Quoted(path) + " ei voi lukea");
    std::vector<int32_t> days;
    std::string line;
    LineReader reader(in);
    for (LineReader::Result read; (read = reader.Next(line)) != LineReader::kEnd;) {
        const auto bad = [&](const std::string& why) {
            throw InputError("sulkemispäivien tiedosto " + Quoted(path) + ", rivi " +
                             std::to_string(reader.Number()) + ": " + why);
        };
        if (read == LineReader::kTooLong || line.size() > kLongestLine) bad("rivi on liian pitkä");
        if (reader.Number() > kMostLines) bad("liian monta riviä");
        std::string_view text = line;
        if (const size_t hash = text.find('#'); hash != std::string_view::npos)
            text = text.substr(0, hash);
        text = Trim(text);
        if (text.empty()) continue;
        double serial = NAN;
        if (const std::optional<DateTimeFields> f = ParseDateTimeFields(text, false)) try {
                serial = EncodeDateTime(f->Year, f->Month, f->Day, 0, 0);
            } catch (const EConvertError&) {
            }
        if (std::isnan(serial)) bad(Quoted(text) + " ei ole päivämäärä muodossa YYYY-MM-DD");
        days.push_back(static_cast<int32_t>(serial));
    }
    if (reader.Failed())
        throw InputError("sulkemispäivien tiedostoa " + Quoted(path) + " ei voi lukea");
    return days;
}

std::vector<int32_t> ClosureDays(const std::string& holidays, const std::string& closuresFile,
                                 double valuationTime, double expiry) {
    if (!holidays.empty() && holidays != kHelsinkiHolidays)
        ThrowBadValue("--holidays", holidays, kHelsinkiHolidays);
    std::vector<int32_t> days;
    // Dates beyond any the inputs accept have no closures.
    const auto usable = [](double t) { return std::fabs(t) < 1e7; };
    if (!usable(valuationTime) || !usable(expiry)) return days;
    // From the year before the valuation (a valuation on 1 January looks
    // back over 31 December) to the expiry's year and the valuation's coming
    // year (the steps per year count its closures).
    const int64_t first = CivilOfSerial(static_cast<int64_t>(std::floor(valuationTime))).Year - 1;
    const int64_t last = std::clamp(CivilOfSerial(static_cast<int64_t>(std::floor(expiry))).Year,
                                    first + 2, first + 12);
    if (holidays == kHelsinkiHolidays) days = HelsinkiClosures(first, last);
    if (!closuresFile.empty())
        for (const int32_t day : ReadClosuresFile(closuresFile)) {
            const int64_t year = CivilOfSerial(day).Year;
            if (year >= first && year <= last) days.push_back(day);
        }
    NormalizeClosures(days);
    return days;
}

} // namespace kelvaro
