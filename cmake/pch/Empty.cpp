// The translation unit a precompiled header is built with; it holds nothing.
