from enum import Enum
from collections import defaultdict
from typing import Any, ClassVar

import pandas as pd

class VariableScope(Enum):
    LOCAL = "local"
    MODULE_PRIVATE = "module_private"
    GLOBAL = "global"
    CLASS_PRIVATE = "class_private"
    CLASS_PUBLIC = "class_public"
    CLASS_EXTERNAL = "class_external"

class VariableType(Enum):
    INTEGER = "Integer"
    LONG = "Long"
    SINGLE = "Single"
    DOUBLE = "Double"
    STRING = "String"
    BOOLEAN = "Boolean"
    VARIANT = "Variant"
    SITELONG = "SiteLong"
    SITEDOUBLE = "SiteDouble"
    SITEBOOLEAN = "SiteBoolean"
    DSPWAVE = "DspWave"
    ENUM = "Enum"
    TYPE = "Type"
    PINDATA = "PinData"
    PINLISTDATA = "PinListData"
    CSL = "CSL"
    USERCLASS = "UserClass"
    PINLIST = "PinList"
    PATTERN = "Pattern"

class FunctionType(Enum):
    VBT = "VBT"
    DSP = "DSP"
    IP = "IP"
    OTHER = "OTHER"

# The records of the code model: mutable, compared field by field, unhashable.
class VariableInfo:
    name: str
    original_name: str
    scope: VariableScope
    var_type: VariableType
    is_array: bool
    file_path: str
    line_number: int
    function_name: str | None
    is_const: bool
    correct_name: str | None
    issue_description: str | None
    def __init__(
        self,
        name: str,
        original_name: str,
        scope: VariableScope,
        var_type: VariableType,
        is_array: bool,
        file_path: str,
        line_number: int,
        function_name: str | None = ...,
        is_const: bool = ...,
        correct_name: str | None = ...,
        issue_description: str | None = ...,
    ) -> None: ...

class FunctionInfo:
    name: str
    original_name: str
    func_type: FunctionType
    file_path: str
    start_line: int
    end_line: int
    # (name, type, "ByVal"/"ByRef"/"") per parameter
    parameters: list[tuple[str, str, str]]
    issues: list[str]
    def __init__(
        self,
        name: str,
        original_name: str,
        func_type: FunctionType,
        file_path: str,
        start_line: int,
        end_line: int,
        parameters: list[tuple[str, str, str]],
        issues: list[str],
    ) -> None: ...

class TypeInfo:
    name: str
    original_name: str
    # "Type" or "Enum"
    info_type: str
    file_path: str
    line_number: int
    scope: str
    correct_name: str | None
    issue_description: str | None
    reference_count: int
    # None at construction becomes an empty set.
    referenced_files: set[str]
    def __init__(
        self,
        name: str,
        original_name: str,
        info_type: str,
        file_path: str,
        line_number: int,
        scope: str = ...,
        correct_name: str | None = ...,
        issue_description: str | None = ...,
        reference_count: int = ...,
        referenced_files: set[str] | None = ...,
    ) -> None: ...

class VariableReference:
    var_name: str
    file_path: str
    line_number: int
    function_name: str | None
    context: str
    def __init__(
        self,
        var_name: str,
        file_path: str,
        line_number: int,
        function_name: str | None = ...,
        context: str = ...,
    ) -> None: ...

class VBTNamingRules:
    RESERVED_VARS: ClassVar[set[str]]
    TYPE_SUFFIXES: ClassVar[dict[VariableType, tuple[str, ...]]]
    SCOPE_PREFIXES: ClassVar[dict[VariableScope, str]]
    def __init__(self) -> None: ...
    # (suggested name, issue text or None)
    @staticmethod
    def get_correct_variable_name(var_info: VariableInfo) -> tuple[str, str | None]: ...
    @staticmethod
    def check_function_parameter(
        param_name: str, param_type: str, byval_byref: str, func_type: FunctionType
    ) -> tuple[str, str | None]: ...
    @staticmethod
    def _get_correct_constant_name(var_info: VariableInfo) -> tuple[str, str | None]: ...
    @staticmethod
    def _get_type_suffix(var_type: VariableType | None, is_array: bool) -> str: ...
    @staticmethod
    def _is_camel_style(name: str) -> bool: ...
    @staticmethod
    def _to_camel_style(name: str) -> str: ...
    @staticmethod
    def _camel_to_snake_case(camel_str: str) -> str: ...

class VBAParser:
    def __init__(self) -> None: ...
    # The collections are the parser's own objects, not copies.
    @property
    def files(self) -> dict[str, list[str]]: ...
    @property
    def file_encodings(self) -> dict[str, str]: ...
    @property
    def file_newlines(self) -> dict[str, str | tuple[str, ...] | None]: ...
    @property
    def global_variables(self) -> list[VariableInfo]: ...
    @property
    def module_variables(self) -> dict[str, list[VariableInfo]]: ...
    @property
    def local_variables(self) -> dict[str, list[VariableInfo]]: ...
    @property
    def functions(self) -> dict[str, FunctionInfo]: ...
    @property
    def types(self) -> dict[str, TypeInfo]: ...
    @property
    def enums(self) -> dict[str, TypeInfo]: ...
    # A missing key reads as a new empty list that is not stored.
    @property
    def variable_references(self) -> dict[str, list[VariableReference]]: ...
    def parse_files(self, directory_path: str) -> None: ...
    def get_variable_references(self, var_name: str) -> list[VariableReference]: ...
    def get_all_variable_issues(self) -> dict[str, Any]: ...
    def _parse_file(self, file_path: str, lines: list[str]) -> None: ...
    def _is_function_definition(self, line: str) -> bool: ...
    def _is_variable_declaration(self, line: str) -> bool: ...
    def _parse_variable_declaration(self, line: str, file_path: str, line_num: int, function_name: str | None) -> None: ...
    def _parse_variable_type(self, type_str: str) -> VariableType: ...
    def _parse_function_definition(self, line: str, file_path: str, line_num: int) -> FunctionInfo: ...
    def _parse_function_parameters(self, params_str: str) -> list[tuple[str, str, str]]: ...
    def _parse_type_definition(self, line: str, all_lines: list[str], line_num: int, file_path: str) -> None: ...
    def _parse_enum_definition(self, line: str, all_lines: list[str], line_num: int, file_path: str) -> None: ...
    def _collect_variable_references(self) -> None: ...
    def _check_function_parameters(self) -> None: ...
    def _collect_references_in_file(
        self, file_path: str, lines: list[str], all_variables: dict[str, Any]
    ) -> None: ...
    def _find_variable_references_in_line(
        self, line: str, line_num: int, file_path: str, function_name: str | None, all_variables: dict[str, Any]
    ) -> None: ...
    def _collect_type_enum_references(self) -> None: ...

class VBTRefactorer:
    parser: VBAParser
    # change type -> the change records of that type
    changes_made: defaultdict[str, list[dict[str, Any]]]
    def __init__(self, parser: VBAParser) -> None: ...
    def refactor_all_issues(self) -> bool: ...
    def apply_changes_from_excel(self, excel_path: str) -> bool: ...
    def _add_change(self, change_type: str, change_info: dict[str, Any]) -> None: ...
    def _apply_all_changes(self) -> None: ...
    def _is_function_definition(self, line: str) -> bool: ...
    def _is_variable_declaration(self, line: str) -> bool: ...
    def _refactor_global_variables(self) -> None: ...
    def _refactor_module_variables(self) -> None: ...
    def _refactor_local_variables(self) -> None: ...
    def _refactor_type_definitions(self) -> None: ...
    def _refactor_enum_definitions(self) -> None: ...

def main() -> None: ...
