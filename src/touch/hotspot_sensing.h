// What the hotspot layer takes from touch sensing.
#pragma once

void KV_GetLocation(int* x, int* y);
void KV_Touch_Get_State(int* pressed, int* first, int* second);
void KV_Touch_Info(int* lastPress, int* pMin, int* pMax, int* state);
void enableTouch(int on);
