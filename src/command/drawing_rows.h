// Rows of the command chain for the drawing state and the shapes. Each returns kNoMatch when
// the line is not its command.
#pragma once

int row_save_restore(char* line);   // "ss", "sr"
int row_polygon(char* line);        // "pgr", "pg"
int row_polygon_fill(char* line);   // "pfr", "pf"
int row_polygon_again(char* line);  // "ppgr %d"
int row_polyline(char* line);       // "plr", "pl"
int row_pen(char* line);            // "p %u", "p"
int row_point(char* line);          // "dp %d %d"
int row_draw_mode(char* line);      // "d", "d %9s"
int row_palette(char* line);        // "s %d %d"
int row_colors(char* line);         // "S", "S %x %x"
int row_cursor(char* line);         // "sc", "sc %d %d"
int row_origin(char* line);         // "o", "o %d %d"
int row_line(char* line);           // "l %d%d%d%d"
int row_rect(char* line);           // "r %d%d%d%d%d %9s"
int row_triangle(char* line);       // "tr %d%d %d%d %d%d %9s"
int row_arc(char* line);            // "a %d%d %d %d%d"
int row_ellipse(char* line);        // "ef %d%d%d%d", "e %d%d%d%d"
int row_circle(char* line);         // "c %d%d%d", "c %d%d%d%d"
int row_state(char* line);          // "*STATEF", "*STATE"
int row_image(char* line);          // "i %d%d%d"
