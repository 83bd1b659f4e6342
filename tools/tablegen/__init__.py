"""The table generators; importing the package registers every output."""
# Add a module per table family here.
from . import bands  # noqa: F401
from . import quant  # noqa: F401
from . import transform  # noqa: F401
from . import windows  # noqa: F401
