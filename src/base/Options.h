#pragma once

#include "base/SettingsFile.h"

namespace velmora {

// The four user options, as the options dialog holds them.
struct Options {
    bool autoName = true;       // AUTO_NAME
    bool msgFolder = true;      // MSG_FOLDER
    bool msgFile = true;        // MSG_FILE
    int newProjectChoice = 0;   // CHOSING_NEW_PRJ: -1 none, 0 interlinked, 1 single, 2 ask

    friend bool operator==(const Options&, const Options&) = default;
};

// Reads the four keys into `options`, in the order AUTO_NAME, MSG_FOLDER,
// MSG_FILE, CHOSING_NEW_PRJ. A flag is set exactly when its value is "Yes";
// the choice is clamped to -1 ... 2. A choice that is no integer raises the
// conversion failure after the flags are loaded, leaving the choice as it was.
void LoadOptions(const SettingsFile& settings, Options& options);

// Writes the four keys: "Yes"/"No" and the choice in signed decimal.
void StoreOptions(const SettingsFile& settings, const Options& options);

// Which source of the current options the rest of the program reads.
class OptionsSource {
public:
    virtual ~OptionsSource() = default;
    virtual Options currentOptions() const = 0;
};

}  // namespace velmora
