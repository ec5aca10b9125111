#pragma once

#include <QByteArrayView>

namespace builder {

// How many leading bytes of a file IsAlreadyCompressed wants to see at most.
inline constexpr qsizetype kContentSniffBytes = 512;

// True when the bytes a file starts with (up to kContentSniffBytes; fewer when the file is
// shorter) are those of a format whose data is already compressed, so that deflating it again
// only costs time: JPEG, PNG, GIF, WebP, AVIF, MP4/MOV/M4V/M4A (ISO media), WebM/Matroska, MP3,
// Ogg, ZIP, gzip, 7z, RAR and WOFF2. A file behind a PHP guard ("<?php ... __halt_compiler();"
// or "<?php ... ?>", then one line break) is judged by what follows the guard. The name plays no
// part: a JPEG named .txt is stored, a text named .jpg is deflated.
bool IsAlreadyCompressed(QByteArrayView head);

// Where the compressed picture of a JPEG starts (its first start-of-scan segment), walking the
// segments before it in the bytes given (the file's beginning); -1 when it is not within them or
// the segments are broken. What comes before it (metadata, colour profiles, thumbnails) deflates
// well: a photo with much of it is better deflated than stored.
qsizetype JpegHeaderLength(QByteArrayView start);

// True when deflating these bytes (samples from inside a file) at the fastest level saves more
// than 2% of them: some PNG encoders and containers leave that much behind.
bool ShrinksWhenDeflated(QByteArrayView sample);

} // namespace builder
