// Whether every heap of the process passes the platform's own check of its blocks.
#pragma once

bool HeapsWhole();
