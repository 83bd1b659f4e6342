"""The table generators; importing the package registers every output."""
from . import bands, huffman, ps, quant, transform, windows  # noqa: F401
