// The small files that file managers write by themselves into the folders they show.
#pragma once

// True for Thumbs.db, ehthumbs.db, ehthumbs_vista.db, desktop.ini, .DS_Store, "Icon" and a
// carriage return, and every name that begins with "._"; whole names, ASCII case ignored.
bool IsFileManagerFile(const char* name);
