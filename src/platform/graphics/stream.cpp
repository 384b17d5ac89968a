// Implemented with the Bitmap.
