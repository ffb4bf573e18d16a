"""The .pyi stubs beside the extension modules describe what the modules hold.

Every name a module exports is declared in its stub and the other way round,
every class's public members likewise, and every operation the stub declares
takes the parameters the stub gives it, in that order, with the same ones
required. Parameter names are read back from the argument errors of the
operations themselves: their signatures are not introspectable.
"""

import ast
import enum
import importlib
import re
from pathlib import Path

import pytest

MODULES = [
    "tallowby.hestor",
    "tallowby.garvel",
    "tallowby.ostrand",
    "tallowby.tormund",
    "tallowby.sunmere",
    "tallowby.dunmarrow",
    "tallowby.corvain",
    "tallowby.valcour",
    "tallowby.ambrel",
    "tallowby.pendrel",
    "tallowby.marlet",
    "tallowby.quillon.quillon",
    "tallowby.quillon.tabwick",
]

# A keyword no operation takes.
NO_SUCH = "no_such_parameter_"


def stub_path(module_name):
    module = importlib.import_module(module_name)
    return Path(module.__file__).parent / (module_name.rpartition(".")[2] + ".pyi")


def stub_of(module_name):
    path = stub_path(module_name)
    assert path.is_file(), f"no stub at {path}"
    return ast.parse(path.read_text(encoding="utf-8"), filename=str(path))


def is_public(name):
    return not name.startswith("_")


def is_dunder(name):
    return name.startswith("__") and name.endswith("__")


def top_level_names(tree):
    """Names the stub makes part of its module. `import x` and `import x as y`
    bind a module; a from-import counts only as `from m import a as a`, the
    stub form of a re-export (other from-imports serve the annotations)."""
    names = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names[node.name] = node
        elif isinstance(node, ast.Import):
            for alias in node.names:
                names[alias.asname or alias.name.partition(".")[0]] = node
        elif isinstance(node, ast.ImportFrom):
            for alias in node.names:
                if alias.asname == alias.name:
                    names[alias.name] = node
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names[node.target.id] = node
        elif isinstance(node, ast.Assign):
            names.update((t.id, node) for t in node.targets if isinstance(t, ast.Name))
    return names


def body_names(class_node):
    names = set()
    for node in class_node.body:
        if isinstance(node, ast.FunctionDef):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names.add(node.target.id)
        elif isinstance(node, ast.Assign):
            names.update(t.id for t in node.targets if isinstance(t, ast.Name))
    return names


def imported_from(tree, name):
    """The module a stub imports `name` from, if it does."""
    for node in tree.body:
        if isinstance(node, ast.ImportFrom) and any((a.asname or a.name) == name for a in node.names):
            return node.module
    return None


def stub_class_members(module_name, class_name):
    """The members the stub gives a class, those of its stubbed bases included."""
    tree = stub_of(module_name)
    node = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == class_name)
    members = body_names(node)
    for base in node.bases:
        if isinstance(base, ast.Name):
            source = imported_from(tree, base.id) or module_name
            if source.startswith("tallowby."):
                members |= stub_class_members(source, base.id)
    return members


def stub_classes(module_name):
    tree = stub_of(module_name)
    return [n for n in tree.body if isinstance(n, ast.ClassDef)]


@pytest.mark.parametrize("module_name", MODULES)
def test_stub_declares_what_the_module_holds(module_name):
    module = importlib.import_module(module_name)
    tree = stub_of(module_name)
    declared = top_level_names(tree)

    exported = {n for n in dir(module) if is_public(n)}
    assert exported - set(declared) == set(), "exported but not declared"
    assert {n for n in declared if is_public(n)} - exported == set(), "declared but not exported"

    # Re-exports are the very objects of the modules the stub names.
    for name, node in declared.items():
        if isinstance(node, ast.ImportFrom):
            source = importlib.import_module(node.module)
            assert getattr(module, name) is getattr(source, name), name

    for node in stub_classes(module_name):
        cls = getattr(module, node.name)
        assert isinstance(cls, type), node.name
        machinery = set(dir(enum.Enum)) if issubclass(cls, enum.Enum) else set(dir(object))
        actual = {n for n in dir(cls) if is_public(n) and n not in machinery}
        stubbed = stub_class_members(module_name, node.name)
        assert actual - stubbed == set(), f"{node.name}: members missing from the stub"
        assert {n for n in stubbed if is_public(n)} - actual == set(), f"{node.name}: stub members the class lacks"
        # Underscored operations in the stub are ones callers may use or
        # override; they must exist too.
        for name in stubbed - {n for n in stubbed if is_public(n) or is_dunder(n)}:
            assert hasattr(cls, name), f"{node.name}.{name}"
        if issubclass(cls, enum.Enum):
            assert [m.name for m in cls] == [
                t.id for n in node.body if isinstance(n, ast.Assign) for t in n.targets
            ], f"{node.name}: member order"


# Classes whose constructor needs arguments, for the instances the method
# probes are made on.
def make_instance(cls, tmp_path):
    if cls.__name__ == "Marlet":
        return cls(str(tmp_path))
    if cls.__name__ == "VBTRefactorer":
        return cls(importlib.import_module("tallowby.quillon.quillon").VBAParser())
    return cls()


def stub_operations():
    """(module, class name or None, function node, kind) for every operation a
    stub declares: module functions, methods, static methods, constructors."""
    cases = []
    for module_name in MODULES:
        if not stub_path(module_name).is_file():
            # Reported by the test above; nothing to probe here.
            continue
        tree = stub_of(module_name)
        for node in tree.body:
            if isinstance(node, ast.FunctionDef):
                cases.append(pytest.param(module_name, None, node, "function", id=f"{module_name}.{node.name}"))
            elif isinstance(node, ast.ClassDef):
                for item in node.body:
                    if not isinstance(item, ast.FunctionDef):
                        continue
                    decorators = {d.id for d in item.decorator_list if isinstance(d, ast.Name)}
                    if "property" in decorators:
                        continue
                    kind = "static" if "staticmethod" in decorators else "method"
                    if item.name == "__init__":
                        kind = "init"
                    cases.append(
                        pytest.param(module_name, node.name, item, kind, id=f"{module_name}.{node.name}.{item.name}")
                    )
    return cases


def type_error_of(call, *args, **kwargs):
    with pytest.raises(TypeError) as caught:
        call(*args, **kwargs)
    return str(caught.value)


TAKES = re.compile(r"takes (?:from (\d+) to )?(\d+) positional arguments? but \d+ (?:was|were) given")
MISSING = re.compile(r"missing \d+ required positional arguments?: (.*)$")


@pytest.mark.parametrize("module_name, class_name, node, kind", stub_operations())
def test_stub_parameters_are_the_operation_s(module_name, class_name, node, kind, tmp_path):
    module = importlib.import_module(module_name)
    args = node.args
    assert not (args.vararg or args.kwarg or args.kwonlyargs or args.posonlyargs), "plain parameters only"
    params = [a.arg for a in args.args]
    if kind != "static" and kind != "function":
        assert params[:1] == ["self"]
        params = params[1:]
    required = params[: len(params) - len(args.defaults)]

    if kind == "function":
        call, qualname = getattr(module, node.name), node.name
    else:
        cls = getattr(module, class_name)
        qualname = f"{class_name}.{node.name}"
        if kind == "init":
            call = cls
        elif kind == "static":
            call = getattr(cls, node.name)
        else:
            call = getattr(make_instance(cls, tmp_path), node.name)

    # More positional arguments than any operation takes: the error gives the
    # number of parameters and of required ones, before anything runs. A
    # method's count includes self; so does a static method's, whose
    # arguments are checked as a method's are.
    message = type_error_of(call, *[None] * 64)
    if kind == "init" and message == f"{class_name}() takes no arguments":
        assert params == [], message
        return
    assert message.startswith(f"{qualname}() "), message
    found = TAKES.search(message)
    assert found, message
    high = int(found.group(2))
    low = int(found.group(1) or high)
    shifts = {"function": {0}, "static": {0, 1}}.get(kind, {1})
    assert any((low - s, high - s) == (len(required), len(params)) for s in shifts), (
        f"stub: {len(required)} required of {len(params)}; {message}"
    )

    # No arguments at all: the error names the required parameters in order.
    if required:
        message = type_error_of(call)
        found = MISSING.search(message)
        assert found, message
        assert re.findall(r"'([^']*)'", found.group(1)) == required, message

    # Each parameter by keyword, with the ones before it by position: the
    # keyword is taken (the next, unknown one is refused) and it is bound by
    # its position exactly when that position is filled.
    for index, name in enumerate(params):
        message = type_error_of(call, *[None] * index, **{name: None, NO_SUCH: None})
        assert message.endswith(f"unexpected keyword argument '{NO_SUCH}'"), f"{name}: {message}"
        message = type_error_of(call, *[None] * (index + 1), **{name: None, NO_SUCH: None})
        assert message.endswith(f"got multiple values for argument '{name}'"), f"{name}: {message}"
