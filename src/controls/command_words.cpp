#include "controls/command_words.h"

#include "base/scan.h"
#include "base/text_helpers.h"
#include "drawing/drawing_state.h"

char* next_word(char** rest) {
    return *rest ? strtokr(*rest, ' ', rest) : nullptr;
}

bool next_number(char** rest, int* value) {
    const char* word = next_word(rest);
    return word && kv_sscanf(word, "%d", value) == 1;
}

bool next_colour(char** rest, GUI_COLOR* colour) {
    const char* word = next_word(rest);
    if (!word || atoRGB(word) == -1) return false;
    *colour = atoBGR(word);
    return true;
}
