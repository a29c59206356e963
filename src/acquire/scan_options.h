// The options of an open scanner, read from its option descriptors: the
// model behind the scan dialog and `pimlora-cli scan --option`. Each option
// keeps the device's own constraint (a range, a list of numbers or a list
// of texts) and its current value as text; setting a value goes to the
// device at once, and the whole list is read again when the device says its
// options changed (a mode that brings other options in or out, ...).
#pragma once

#include <sane/sane.h>

#include <string>
#include <vector>

namespace acquire {

class SaneLibrary;

struct ScanOption {
    enum class Constraint { None, Range, Numbers, Texts };

    int index = 0;
    std::string name, title, description, group;
    SANE_Value_Type type = SANE_TYPE_INT;
    SANE_Unit unit = SANE_UNIT_NONE;
    int size = 0;   // bytes of the value
    int capabilities = 0;

    Constraint constraint = Constraint::None;
    double min = 0, max = 0, quant = 0;   // Range
    std::vector<double> numbers;          // Numbers
    std::vector<std::string> texts;       // Texts

    std::string value;   // current value as text ("yes"/"no" for switches)

    bool Active() const { return !(capabilities & SANE_CAP_INACTIVE); }
    bool Settable() const { return capabilities & SANE_CAP_SOFT_SELECT; }
    bool Advanced() const { return capabilities & SANE_CAP_ADVANCED; }
    // One number, one switch or one text (not an array, a button or a group).
    bool Scalar() const;
    // Shown in the scan dialog: active, settable by the program, scalar and
    // not marked advanced.
    bool Shown() const { return Active() && Settable() && Scalar() && !Advanced(); }
    // "mm", "dpi", ... ("" without a unit).
    std::string UnitText() const;
    double Number() const;   // value of a numeric option
};

class ScanOptions {
public:
    ScanOptions(const SaneLibrary& sane, SANE_Handle handle) : sane_(sane), handle_(handle) {}

    // Reads every descriptor and value again.
    bool Reload();
    const std::vector<ScanOption>& All() const { return options_; }
    const ScanOption* Find(const std::string& name) const;

    // Sets a value given as text (a number for numeric options, yes/no,
    // on/off, true/false or 1/0 for switches, one of the listed texts for
    // a text list). False with `error` filled when the device has no such
    // option, it is inactive or read-only, or the text does not fit it.
    // `reloaded` tells whether the device changed its other options.
    bool Set(const std::string& name, const std::string& text, std::string& error, bool* reloaded = nullptr);

    // The resolution in dots per inch (0 when the device has none).
    int Resolution() const;
    // The value of the document source option ("" without one) and whether
    // it names a document feeder, which has further pages after the first.
    std::string Source() const;
    bool SourceIsFeeder() const;

private:
    bool ReadValue(ScanOption& option);

    const SaneLibrary& sane_;
    SANE_Handle handle_;
    std::vector<ScanOption> options_;
};

// Whether a source name stands for a document feeder ("Automatic Document
// Feeder", "ADF Duplex", "Document Feeder", ...).
bool IsFeederSource(const std::string& source);

}  // namespace acquire
