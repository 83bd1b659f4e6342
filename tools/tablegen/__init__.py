"""The table generators; importing the package registers every output."""
from . import bands, huffman, quant, sbr, transform, windows  # noqa: F401
