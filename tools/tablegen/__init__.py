"""The table generators; importing the package registers every output."""
from . import bands  # noqa: F401
from . import quant  # noqa: F401
