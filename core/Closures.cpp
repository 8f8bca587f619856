#include "Closures.h"

#include "Calendar.h"
#include "Conversions.h"
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
// may cost.
constexpr size_t kLongestLine = 200;
constexpr int64_t kMostLines = 100000;

// The next line without its end, at most kLongestLine + 1 characters of it
// kept (a longer line is refused by its length).
bool ReadBoundedLine(std::istream& in, std::string& line) {
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = in.get()) != std::char_traits<char>::eof()) {
        any = true;
        if (c == '\n') break;
        if (line.size() <= kLongestLine) line.push_back(static_cast<char>(c));
    }
    // A line may end in CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

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
    for (int64_t number = 1; ReadBoundedLine(in, line); ++number) {
        const auto bad = [&](std::string_view why) {
            throw InputError("sulkemispäivien tiedosto " + Quoted(path) + ", rivi " +
                             std::to_string(number) + ": " + std::string(why));
        };
        if (line.size() > kLongestLine) bad("rivi on liian pitkä");
        if (number > kMostLines) bad("liian monta riviä");
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
        if (std::isnan(serial))
            throw InputError("sulkemispäivien tiedosto " + Quoted(path) + ", rivi " +
                             std::to_string(number) + ": " + Quoted(text) +
                             " ei ole päivämäärä muodossa YYYY-MM-DD");
        days.push_back(static_cast<int32_t>(serial));
    }
    if (in.bad()) throw InputError("sulkemispäivien tiedostoa " + Quoted(path) + " ei voi lukea");
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
