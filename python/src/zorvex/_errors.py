"""The package's exception."""


class ZorvexError(RuntimeError):
    """The library refused something: no library found, no free emulator
    instance, a file that is not a tune, an HVSC document that does not load."""
