#include "base/level_arg.h"

#include "base/scan.h"

bool readLevel(const char* args, int current, int* level) {
    int value;
    if (kv_sscanf(args, "%d", &value) != 1) return false;
    const bool relative =
        args[0] == '+' || args[0] == '-' || (args[0] && (args[1] == '+' || args[1] == '-'));
    if (relative) {
        // Wide, as a change may reach the ends of the int range.
        const long long sum = (long long)value + current;
        *level = sum < 0 ? 0 : sum > 255 ? 255 : int(sum);
        return true;
    }
    if (value < 0 || value > 255) return false;
    *level = value;
    return true;
}
