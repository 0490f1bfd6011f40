// Screen controls that keep their own state: start-up initialisation of their tables.
#pragma once

void KV_Chart_Init();
