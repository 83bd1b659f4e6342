"""The table generators; importing the package registers every output."""
from . import bands, huffman, ps, quant, sbr, transform, windows  # noqa: F401
