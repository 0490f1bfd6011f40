#include "controls/meter_rows.h"

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/meters.h"
#include "drawing/drawing_state.h"

int row_meter_define(char* line) {
    if (!prefix(line, "md ") && !prefix(line, "mdb ")) return kNoMatch;
    return meterDefine(line);
}

int row_meter_value(char* line) {
    int meter, value;
    if (kv_sscanf(line, "mv %d %d", &meter, &value) != 2) return kNoMatch;
    return meterValue(meter, value);
}

int row_meter_band(char* line) {
    int meter, value;
    MeterBand band{};
    char bandWord[4], needleWord[4];
    int low, high, radius, pen;
    const int n = kv_sscanf(line, "mvb %d %d %d %d %d %d %3s %3s", &meter, &value, &low, &high,
                            &radius, &pen, bandWord, needleWord);
    if (n < 2) return kNoMatch;
    band.low = low;
    band.high = high;
    band.radius = radius;
    band.penWidth = pen;
    if (n == 8) {
        band.bandColor = atoBGR(bandWord);
        return meterValueband(meter, value, &band, atoBGR(needleWord));
    }
    if (n == 2) {
        if (meter < 0 || meter >= kMeterCount) return 0;
        return meterValueband(meter, value, nullptr, meters[meter].curNeedleColor);
    }
    // A line cut short still moves the needle; the host is told its band was not taken.
    txNotify(":Incorrect number of parameters");
    return meterValue(meter, value);
}
