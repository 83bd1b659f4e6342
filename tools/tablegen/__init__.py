"""The table generators; importing the package registers every output."""
from . import bands, huffman, transform, windows  # noqa: F401
