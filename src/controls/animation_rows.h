// The animation commands of the command chain.
#pragma once

int row_ani_clear(char* line);    // "anic", "tfc"
int row_ani_stop(char* line);     // "tfd %d %d", "anid %d %d"
int row_ani_delete(char* line);   // "anix %d", "tfx %d"
int row_ani_restart(char* line);  // "anis"
int row_ani_enable(char* line);   // "tfe %d", "anie %d"
int row_ani_add(char* line);      // "ani ", "ani+ "
int row_text_field(char* line);   // "tf %d%d" and a quoted text
int row_ani_list(char* line);     // "tf?", "ani?"
