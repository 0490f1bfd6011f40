// Commands of the serial ports (rows of the command chain).
#pragma once

int row_rs485(char* line);     // "*rs485", "*rs485 off", "*rs485 %c%c%c"
int row_poll(char* line);      // "Q" (RS-485 addressed mode only)
int row_baud(char* line);      // "baudp", "bauds", "baud"
int row_out(char* line);       // "outs", "out"
int row_aout(char* line);      // "aouts", "aout"
int row_ain(char* line);       // "ain", "ainb"
int row_auxio(char* line);     // "auxIO"
int row_prevcons(char* line);  // "*prevCons"
int row_auxesc(char* line);    // "*auxEsc"
int row_commain(char* line);   // "*com1main", "*com0main"
int row_rst(char* line);       // "*rst"
int row_bmoff(char* line);     // "*BMOFF"
