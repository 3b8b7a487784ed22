// The small files that file managers write by themselves into the folders they show, and
// the folders that file servers and systems write into every folder.
#pragma once

// True for Thumbs.db, ehthumbs.db, ehthumbs_vista.db, desktop.ini, .DS_Store, "Icon" and a
// carriage return, and every name that begins with "._"; whole names, ASCII case ignored.
bool IsFileManagerFile(const char* name);

// True for the folders of thumbnails, indexes and bins that NAS boxes, Mac file sharing and
// Windows write: @eaDir, .@__thumb, .AppleDouble, .Spotlight-V100, .fseventsd, .Trashes,
// .TemporaryItems, $RECYCLE.BIN, System Volume Information, and .Trash- followed by
// digits; whole names, ASCII case ignored.
bool IsSystemWrittenFolder(const char* name);
