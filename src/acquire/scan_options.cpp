#include "scan_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sane/saneopts.h>

#include "sane_library.h"

namespace acquire {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string NumberText(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

bool ParseNumber(const std::string& text, double& v) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtod(text.c_str(), &end);
    return end && *end == 0 && errno != ERANGE && std::isfinite(v);
}

bool ParseSwitch(const std::string& text, bool& v) {
    const std::string t = Lower(text);
    if (t == "yes" || t == "on" || t == "true" || t == "1") {
        v = true;
        return true;
    }
    if (t == "no" || t == "off" || t == "false" || t == "0") {
        v = false;
        return true;
    }
    return false;
}

}  // namespace

bool ScanOption::Scalar() const {
    switch (type) {
        case SANE_TYPE_BOOL: case SANE_TYPE_INT: case SANE_TYPE_FIXED: return size == int(sizeof(SANE_Word));
        case SANE_TYPE_STRING: return size > 0;
        default: return false;
    }
}

std::string ScanOption::UnitText() const {
    switch (unit) {
        case SANE_UNIT_PIXEL: return "px";
        case SANE_UNIT_BIT: return "bit";
        case SANE_UNIT_MM: return "mm";
        case SANE_UNIT_DPI: return "dpi";
        case SANE_UNIT_PERCENT: return "%";
        case SANE_UNIT_MICROSECOND: return "us";
        default: return "";
    }
}

double ScanOption::Number() const {
    double v = 0;
    return ParseNumber(value, v) ? v : 0;
}

bool IsFeederSource(const std::string& source) {
    const std::string s = Lower(source);
    return s.find("feeder") != std::string::npos || s.find("adf") != std::string::npos ||
           s.find("duplex") != std::string::npos;
}

bool ScanOptions::ReadValue(ScanOption& o) {
    o.value.clear();
    if (!o.Active() || !(o.capabilities & SANE_CAP_SOFT_DETECT) || o.size <= 0) return false;
    if (o.type == SANE_TYPE_BUTTON || o.type == SANE_TYPE_GROUP) return false;
    // The device writes `size` bytes; one spare word keeps a text terminated.
    std::vector<SANE_Word> buf(size_t(o.size) / sizeof(SANE_Word) + 2, 0);
    if (sane_.control_option(handle_, o.index, SANE_ACTION_GET_VALUE, buf.data(), nullptr) != SANE_STATUS_GOOD)
        return false;
    switch (o.type) {
        case SANE_TYPE_BOOL: o.value = buf[0] ? "yes" : "no"; break;
        case SANE_TYPE_INT: o.value = std::to_string(buf[0]); break;
        case SANE_TYPE_FIXED: o.value = NumberText(SANE_UNFIX(buf[0])); break;
        case SANE_TYPE_STRING: {
            const char* s = reinterpret_cast<const char*>(buf.data());
            o.value.assign(s, strnlen(s, size_t(o.size)));
            break;
        }
        default: break;
    }
    return true;
}

bool ScanOptions::Reload() {
    options_.clear();
    if (!sane_.Loaded() || !handle_) return false;
    // Option 0 holds the number of options.
    SANE_Int count = 0;
    if (sane_.control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) count = 0;
    count = std::clamp(count, 0, 4096);
    std::string group;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_.get_option_descriptor(handle_, i);
        if (!d) continue;
        if (d->type == SANE_TYPE_GROUP) {
            group = d->title ? d->title : "";
            continue;
        }
        ScanOption o;
        o.index = i;
        o.name = d->name ? d->name : "";
        o.title = d->title ? d->title : o.name;
        o.description = d->desc ? d->desc : "";
        o.group = group;
        o.type = d->type;
        o.unit = d->unit;
        o.size = std::clamp(d->size, 0, 1 << 20);
        o.capabilities = d->cap;
        const bool fixed = d->type == SANE_TYPE_FIXED;
        auto num = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : double(w); };
        switch (d->constraint_type) {
            case SANE_CONSTRAINT_RANGE:
                if (d->constraint.range) {
                    o.constraint = ScanOption::Constraint::Range;
                    o.min = num(d->constraint.range->min);
                    o.max = num(d->constraint.range->max);
                    o.quant = num(d->constraint.range->quant);
                }
                break;
            case SANE_CONSTRAINT_WORD_LIST:
                if (d->constraint.word_list) {
                    o.constraint = ScanOption::Constraint::Numbers;
                    const SANE_Word n = std::clamp(d->constraint.word_list[0], 0, 4096);
                    for (SANE_Word k = 1; k <= n; ++k) o.numbers.push_back(num(d->constraint.word_list[k]));
                }
                break;
            case SANE_CONSTRAINT_STRING_LIST:
                if (d->constraint.string_list) {
                    o.constraint = ScanOption::Constraint::Texts;
                    for (int k = 0; k < 4096 && d->constraint.string_list[k]; ++k)
                        o.texts.emplace_back(d->constraint.string_list[k]);
                }
                break;
            default: break;
        }
        ReadValue(o);
        options_.push_back(std::move(o));
    }
    return true;
}

const ScanOption* ScanOptions::Find(const std::string& name) const {
    for (const ScanOption& o : options_)
        if (o.name == name) return &o;
    return nullptr;
}

bool ScanOptions::Set(const std::string& name, const std::string& text, std::string& error, bool* reloaded) {
    if (reloaded) *reloaded = false;
    auto it = std::find_if(options_.begin(), options_.end(), [&](const ScanOption& o) { return o.name == name; });
    if (it == options_.end()) {
        error = "the device has no option '" + name + "'";
        return false;
    }
    ScanOption& o = *it;
    if (!o.Active()) {
        error = "option '" + name + "' is not active";
        return false;
    }
    if (!o.Settable() || !o.Scalar()) {
        error = "option '" + name + "' cannot be set";
        return false;
    }
    std::vector<SANE_Word> buf(size_t(o.size) / sizeof(SANE_Word) + 2, 0);
    switch (o.type) {
        case SANE_TYPE_BOOL: {
            bool v;
            if (!ParseSwitch(text, v)) {
                error = "option '" + name + "' takes yes or no, not '" + text + "'";
                return false;
            }
            buf[0] = v ? SANE_TRUE : SANE_FALSE;
            break;
        }
        case SANE_TYPE_INT: case SANE_TYPE_FIXED: {
            double v;
            if (!ParseNumber(text, v)) {
                error = "option '" + name + "' takes a number, not '" + text + "'";
                return false;
            }
            if (o.constraint == ScanOption::Constraint::Range && (v < o.min || v > o.max)) {
                error = "option '" + name + "' must lie between " + NumberText(o.min) + " and " + NumberText(o.max);
                return false;
            }
            if (o.constraint == ScanOption::Constraint::Numbers &&
                std::find_if(o.numbers.begin(), o.numbers.end(), [v](double n) { return std::fabs(n - v) < 1e-6; }) ==
                    o.numbers.end()) {
                error = "option '" + name + "' takes one of its listed values, not '" + text + "'";
                return false;
            }
            if (o.type == SANE_TYPE_INT) {
                if (v != std::floor(v) || std::fabs(v) > 2147483647.0) {
                    error = "option '" + name + "' takes a whole number, not '" + text + "'";
                    return false;
                }
                buf[0] = SANE_Word(v);
            } else {
                if (std::fabs(v) >= 32768.0) {
                    error = "option '" + name + "' takes a number below 32768";
                    return false;
                }
                buf[0] = SANE_FIX(v);
            }
            break;
        }
        case SANE_TYPE_STRING: {
            std::string value = text;
            if (o.constraint == ScanOption::Constraint::Texts) {
                // The device's own spelling wins over the case typed.
                auto match = std::find_if(o.texts.begin(), o.texts.end(),
                                          [&](const std::string& t) { return Lower(t) == Lower(text); });
                if (match == o.texts.end()) {
                    error = "option '" + name + "' takes one of its listed texts, not '" + text + "'";
                    return false;
                }
                value = *match;
            }
            if (value.size() + 1 > size_t(o.size)) {
                error = "text for option '" + name + "' is too long";
                return false;
            }
            std::memcpy(buf.data(), value.c_str(), value.size() + 1);
            break;
        }
        default:
            error = "option '" + name + "' cannot be set";
            return false;
    }
    SANE_Int info = 0;
    const SANE_Status s = sane_.control_option(handle_, o.index, SANE_ACTION_SET_VALUE, buf.data(), &info);
    if (s != SANE_STATUS_GOOD) {
        error = "option '" + name + "': " + sane_.StatusText(s);
        return false;
    }
    if (info & SANE_INFO_RELOAD_OPTIONS) {
        Reload();
        if (reloaded) *reloaded = true;
    } else {
        ReadValue(o);
    }
    return true;
}

int ScanOptions::Resolution() const {
    const ScanOption* o = Find(SANE_NAME_SCAN_RESOLUTION);
    return o && o->Active() ? int(std::lround(o->Number())) : 0;
}

std::string ScanOptions::Source() const {
    const ScanOption* o = Find(SANE_NAME_SCAN_SOURCE);
    return o && o->Active() ? o->value : std::string();
}

bool ScanOptions::SourceIsFeeder() const { return IsFeederSource(Source()); }

}  // namespace acquire
