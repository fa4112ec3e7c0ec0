{ An extension module that fails the way Object Pascal modules fail (ProbeFault.pas): its
  initialisation function raises with "moduleRaise" and crashes with "moduleCrash" among its
  faults; otherwise it records "moduleInit" in ProbeFaulty.jsonl beside itself and answers true. }
library ProbeFaulty;

{$mode delphi}{$H+}{$codepage UTF8}

uses
  Windows, ProbeRecord, ProbeFault;

function ModuleInit(aFramework: Pointer): Boolean; stdcall;
begin
  if Faulty('moduleRaise') then RaiseWide('模块初始化失败');
  if Faulty('moduleCrash') then CrashHere;
  J('moduleInit').Bool('framework', aFramework <> nil).Put;
  Result := True;
end;

exports
  ModuleInit;

begin
  OpenRecord(HInstance, 'ProbeFaulty.jsonl');
  LoadFaults(HInstance);
end.
